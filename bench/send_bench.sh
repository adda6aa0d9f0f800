#!/bin/bash
# Sends one message with a 25 MiB and then a 100 MiB random attachment to a
# loopback smtp-sink, in clear and over implicit TLS (socat in front of the
# sink), with our client and, for comparison, curl and msmtp when present.
# Prints the median of RUNS runs: wall seconds, MiB/s of attachment
# payload, CPU seconds and peak resident memory.
#   bash bench/send_bench.sh [build-dir]    (RUNS=3 by default)
# Needs smtp-sink (Debian package postfix) and socat; openssl for the
# throw-away certificate.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${RUNS:-3}
bench=$build/bench/bench_SendBench

for tool in /usr/sbin/smtp-sink socat openssl python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install postfix socat openssl python3)"; exit 2; }
done
cmake --build "$build" --target bench_SendBench >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

clear_port=$(free_port)
/usr/sbin/smtp-sink -c -u nobody "127.0.0.1:$clear_port" 1000 >/dev/null &
pids+=($!)
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1 \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
tls_port=$(free_port)
socat "openssl-listen:$tls_port,bind=127.0.0.1,reuseaddr,fork,cert=$work/cert.pem,key=$work/key.pem,verify=0" \
    "tcp:127.0.0.1:$clear_port" 2>/dev/null &
pids+=($!)
sleep 0.5

# Runs a command RUNS times; prints the medians of wall and CPU time (the
# child's rusage) and of its peak resident memory (VmHWM, sampled while it
# runs: the rusage figure would count the forked interpreter).
measure() {
    local label=$1 payload=$2
    shift 2
    python3 - "$label" "$payload" "$runs" "$@" <<'PY'
import os, resource, statistics, subprocess, sys, time
label, payload, runs, cmd = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
stdin_path = None
if '<' in cmd:
    i = cmd.index('<'); stdin_path = cmd[i + 1]; cmd = cmd[:i]
walls, cpus, peaks = [], [], []
for _ in range(runs):
    stdin = open(stdin_path, 'rb') if stdin_path else subprocess.DEVNULL
    start = time.monotonic()
    pid = subprocess.Popen(cmd, stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).pid
    peak = 0
    while True:
        done, status, usage = os.wait4(pid, os.WNOHANG)
        if done:
            break
        try:
            for line in open(f'/proc/{pid}/status'):
                if line.startswith('VmHWM:'):
                    peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.002)
    walls.append(time.monotonic() - start)
    cpus.append(usage.ru_utime + usage.ru_stime)
    peaks.append(peak / 1024)
    if status != 0:
        print(f'{label:34s} failed (status {status})'); sys.exit(0)
w = statistics.median(walls)
print(f'{label:34s} {w:7.3f} s {payload / w:8.1f} MiB/s  cpu {statistics.median(cpus):6.3f} s  peak {statistics.median(peaks):6.1f} MiB')
PY
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

echo "median of $runs runs; payload = attachment bytes"
for size in 25 100; do
    file=$work/file$size.bin
    head -c $((size * 1024 * 1024)) /dev/urandom > "$file"
    make_eml "$file" "$work/msg$size.eml"
    measure "ours, clear, $size MiB" $size "$bench" --port "$clear_port" "$file"
    measure "ours, implicit TLS, $size MiB" $size "$bench" --tls --port "$tls_port" "$file"
    if command -v curl >/dev/null; then
        rcpt=(--mail-from tecnico@sortello.test --mail-rcpt sink@sortello.test)
        measure "curl pre-encoded, clear, $size MiB" $size curl -s "${rcpt[@]}" \
            --url "smtp://127.0.0.1:$clear_port" --upload-file "$work/msg$size.eml"
        measure "curl pre-encoded, TLS, $size MiB" $size curl -s -k "${rcpt[@]}" \
            --url "smtps://127.0.0.1:$tls_port" --upload-file "$work/msg$size.eml"
        measure "curl -F, clear, $size MiB" $size curl -s "${rcpt[@]}" \
            --url "smtp://127.0.0.1:$clear_port" -H "Subject: Prova di invio" -F "=@$file;encoder=base64"
    fi
    if command -v msmtp >/dev/null; then
        measure "msmtp, clear, $size MiB" $size msmtp --host=127.0.0.1 --port="$clear_port" --auth=off \
            --tls=off --from=tecnico@sortello.test sink@sortello.test "<" "$work/msg$size.eml"
    fi
    rm -f "$file" "$work/msg$size.eml"
done
