#!/bin/bash
# Sends one message with a 25 MiB and then a 100 MiB random attachment to a
# loopback smtp-sink, in clear, over implicit TLS (socat in front of the
# sink) and after STARTTLS (bench/starttls_front.py in front of it), with
# our client and, for comparison, curl, msmtp, swaks and python3's smtplib
# when present. Prints the median of RUNS runs: wall seconds, MiB/s of
# attachment payload, CPU seconds and peak resident memory (the last two
# from /usr/bin/time). A run that fails is reported with its command and
# output, and that tool's figure is left out.
#   bash bench/send_bench.sh [build-dir]    (RUNS=3 by default)
# Needs smtp-sink (Debian package postfix), socat, time and openssl for the
# throw-away certificate. bench/perf_suite.sh calls it with SINK_PORT,
# TLS_PORT and STARTTLS_PORT (servers it already runs), RESULTS (a file for
# its table) and FAILURES (a file noting each command that failed).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${RUNS:-3}
sizes=${SIZES:-25 100}
results=${RESULTS:-/dev/null}
failures=${FAILURES:-/dev/null}
bench=$build/bench/bench_SendBench
# The system's python3 as the smtplib peer: a version manager's shim in
# front of another one would add its own start-up to every figure.
py=$(command -v /usr/bin/python3 || command -v python3)

for tool in /usr/sbin/smtp-sink socat openssl python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install postfix socat openssl python3 time)"; exit 2; }
done
cmake --build "$build" --target bench_SendBench >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

. "$(dirname "$0")/sinks.sh"

if [ -n "${SINK_PORT:-}" ] && [ -n "${TLS_PORT:-}" ] && [ -n "${STARTTLS_PORT:-}" ]; then
    clear_port=$SINK_PORT
    tls_port=$TLS_PORT
    starttls_port=$STARTTLS_PORT
else
    start_sinks
fi

# Runs a command RUNS times (stdin from the file after a "<" argument);
# prints the medians of wall time, and of the CPU time and peak resident
# memory /usr/bin/time reports for the whole process; appends each run to
# RESULTS as: scenario, tool, payload MiB, wall s, CPU s, peak MiB.
measure() {
    local scenario=$1 tool=$2 payload=$3
    shift 3
    local input=/dev/null
    local cmd=()
    while [ $# -gt 0 ]; do
        if [ "$1" = "<" ]; then input=$2; shift 2; else cmd+=("$1"); shift; fi
    done
    local i start end status rows=""
    for ((i = 0; i < runs; i++)); do
        start=$EPOCHREALTIME
        status=0
        /usr/bin/time -f '%U %S %M' -o "$work/time" "${cmd[@]}" <"$input" >"$work/out" 2>&1 || status=$?
        if [ $status -ne 0 ]; then
            printf '%s: "%s" failed with exit status %s:\n  %s\n' "$scenario" "$tool" "$status" "${cmd[*]}"
            tail -n 15 "$work/out" | sed 's/^/  | /'
            printf '%s\t%s\t%s\n' "$scenario" "$tool" "${cmd[*]}" >>"$failures"
            return 0
        fi
        end=$EPOCHREALTIME
        read -r user sys peak <"$work/time"
        rows+=$(printf '%s\t%s\t%s\t%s\t%s\t%s' "$scenario" "$tool" "$payload" \
            "$(python3 -c "print($end - $start)")" "$(python3 -c "print($user + $sys)")" \
            "$(python3 -c "print($peak / 1024)")")$'\n'
    done
    printf '%s' "$rows" >>"$results"
    printf '%s' "$rows" | python3 -c '
import statistics, sys
rows = [line.split("\t") for line in sys.stdin.read().splitlines()]
med = lambda i: statistics.median(float(r[i]) for r in rows)
label, p = rows[0][1] + ", " + rows[0][0], float(rows[0][2])
print(f"{label:44s} {med(3):7.3f} s {p / med(3):8.1f} MiB/s  cpu {med(4):6.3f} s  peak {med(5):6.1f} MiB")'
}

# The same message pre-encoded, for curl --upload-file and msmtp.
make_eml() {
    python3 - "$1" "$2" <<'PY'
import sys
from email.message import EmailMessage
src, out = sys.argv[1], sys.argv[2]
m = EmailMessage()
m['From'] = 'tecnico@sortello.test'; m['To'] = 'sink@sortello.test'; m['Subject'] = 'Prova di invio'
m.set_content('Messaggio di prova.')
m.add_attachment(open(src, 'rb').read(), maintype='application', subtype='octet-stream', filename='file.bin')
open(out, 'wb').write(m.as_bytes().replace(b'\n', b'\r\n'))
PY
}

# smtplib building and sending the message itself, as a script would.
cat >"$work/smtplib_send.py" <<'PY'
import smtplib, ssl, sys
from email.message import EmailMessage
mode, port, src = sys.argv[1], int(sys.argv[2]), sys.argv[3]
m = EmailMessage()
m['From'] = 'tecnico@sortello.test'; m['To'] = 'sink@sortello.test'; m['Subject'] = 'Prova di invio'
m.set_content('Messaggio di prova.')
with open(src, 'rb') as f:
    m.add_attachment(f.read(), maintype='application', subtype='octet-stream', filename='file.bin')
if mode == 'tls':
    s = smtplib.SMTP_SSL('127.0.0.1', port, context=ssl._create_unverified_context())
else:
    s = smtplib.SMTP('127.0.0.1', port)
    if mode == 'starttls':
        s.starttls(context=ssl._create_unverified_context())
s.send_message(m)
s.quit()
PY

echo "median of $runs runs; payload = attachment bytes"
from=tecnico@sortello.test
to=sink@sortello.test
rcpt=(--mail-from "$from" --mail-rcpt "$to")
for size in $sizes; do
    file=$work/file$size.bin
    head -c $((size * 1024 * 1024)) /dev/urandom > "$file"
    make_eml "$file" "$work/msg$size.eml"
    for mode in clear tls starttls; do
        scenario="send $size MiB, $mode"
        case $mode in
            clear)
                port=$clear_port; ours=(); curl_url=smtp; curl_tls=(); msmtp_tls=(--tls=off); swaks_tls=() ;;
            tls)
                port=$tls_port; ours=(--tls); curl_url=smtps; curl_tls=()
                msmtp_tls=(--tls=on --tls-starttls=off --tls-certcheck=off); swaks_tls=(--tls-on-connect) ;;
            starttls)
                port=$starttls_port; ours=(--starttls); curl_url=smtp; curl_tls=(--ssl-reqd)
                msmtp_tls=(--tls=on --tls-starttls=on --tls-certcheck=off); swaks_tls=(--tls) ;;
        esac
        measure "$scenario" ours $size "$bench" "${ours[@]}" --port "$port" "$file"
        if command -v curl >/dev/null; then
            measure "$scenario" "curl pre-encoded" $size curl -s -k "${curl_tls[@]}" "${rcpt[@]}" \
                --url "$curl_url://127.0.0.1:$port" --upload-file "$work/msg$size.eml"
            measure "$scenario" "curl -F" $size curl -s -k "${curl_tls[@]}" "${rcpt[@]}" \
                --url "$curl_url://127.0.0.1:$port" -H "Subject: Prova di invio" -F "=@$file;encoder=base64"
        fi
        if command -v msmtp >/dev/null; then
            measure "$scenario" "msmtp pre-encoded" $size msmtp --host=127.0.0.1 --port="$port" --auth=off \
                "${msmtp_tls[@]}" --from="$from" "$to" "<" "$work/msg$size.eml"
        fi
        if command -v swaks >/dev/null; then
            measure "$scenario" swaks $size swaks --server 127.0.0.1 --port "$port" "${swaks_tls[@]}" \
                --from "$from" --to "$to" --h-Subject "Prova di invio" --body "Messaggio di prova." \
                --attach-type application/octet-stream --attach "@$file" --hide-all
        fi
        measure "$scenario" smtplib $size "$py" "$work/smtplib_send.py" $mode "$port" "$file"
    done
    rm -f "$file" "$work/msg$size.eml"
done
