#!/bin/bash
# The whole performance suite in one go, on loopback, against one smtp-sink
# (clear) with socat in front of it for implicit TLS and bench/starttls_front.py
# for STARTTLS: the connection test (connect, greeting, EHLO, QUIT, as a
# whole process) and the 25 MiB and 100 MiB attachment sends, ours side by
# side with curl, msmtp, swaks and python3's smtplib. Ends with a table of
# each figure's ratio to the best peer's.
#   bash bench/perf_suite.sh [build-dir]
# CONNECT_RUNS (30), RUNS (3, per send) and SIZES ("25 100") shorten a trial.
# Installs what it needs with apt-get (as root); postfix is installed for
# smtp-sink only, its daemon is never started. A command that fails is
# named with its output, left out of the table, and makes the suite end
# with status 1 once the table is printed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
connect_runs=${CONNECT_RUNS:-30}
cli=$build/app/mailsortello-cli
# The system's python3 as the smtplib peer (see send_bench.sh).
py=$(command -v /usr/bin/python3 || command -v python3)

# Packages, not commands, are checked: swaks runs without Net::SSLeay
# (only recommended by its package) but then ends every TLS run with exit
# status 10, "TLS not available: requires Net::SSLeay".
packages=(postfix swaks libnet-ssleay-perl curl msmtp socat hyperfine openssl time python3)
need=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "installing ${need[*]}"
    # No daemon may start while the packages install: smtp-sink is all we use.
    policy=/usr/sbin/policy-rc.d
    created_policy=
    if [ ! -e $policy ]; then printf '#!/bin/sh\nexit 101\n' >$policy && chmod +x $policy && created_policy=1; fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
    if [ -n "$created_policy" ]; then rm -f $policy; fi
fi

cmake --build "$build" -j2 --target mailsortello-cli bench_SendBench >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
# A clean settings folder, so that our figures do not depend on the user's.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"

. "$(dirname "$0")/sinks.sh"
start_sinks

results=$work/results.tsv
: >"$results"
# One line per command that failed: its figure, its name and its words.
failures=$work/failures.txt
: >"$failures"

# Runs one command as the timing tool will (shell words, no shell); on a
# failure prints which command failed, its exit status and the end of its
# output, and notes it in $failures.
probe() {
    local figure=$1 name=$2 cmd=$3 status=0
    eval "local words=($cmd)"
    "${words[@]}" >"$work/probe.out" 2>&1 </dev/null || status=$?
    [ $status -eq 0 ] && return 0
    printf '%s: "%s" failed with exit status %s:\n  %s\n' "$figure" "$name" "$status" "$cmd"
    tail -n 15 "$work/probe.out" | sed 's/^/  | /'
    printf '%s\t%s\t%s\n' "$figure" "$name" "$cmd" >>"$failures"
    return 1
}
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) on $(nproc) cores"

# Connection test: hyperfine's median wall time and mean CPU time over
# CONNECT_RUNS runs, and the peak memory of one run under /usr/bin/time.
# Each command on its own, after a probe run, so that a failure (there or
# in one of the timed runs) names the command instead of failing the lot.
connect_figures() {
    local figure="connect, $1" name cmd
    shift
    while [ $# -gt 0 ]; do
        name=$1 cmd=$2
        shift 2
        probe "$figure" "$name" "$cmd" || continue
        # Its warnings about outliers would only clutter the table; errors are shown.
        if ! hyperfine -N --style none --warmup 3 --runs "$connect_runs" --export-json "$work/connect.json" \
            --command-name "$name" "$cmd" >/dev/null 2>"$work/hyperfine.err"; then
            printf '%s: "%s" failed under hyperfine:\n  %s\n' "$figure" "$name" "$cmd"
            sed 's/^/  | /' "$work/hyperfine.err"
            printf '%s\t%s\t%s\n' "$figure" "$name" "$cmd" >>"$failures"
            continue
        fi
        # Split the way hyperfine -N does: shell words, no shell.
        eval "local words=($cmd)"
        /usr/bin/time -f '%M' -o "$work/peak" "${words[@]}" >/dev/null 2>&1 || true
        python3 - "$work/connect.json" "$name" "$figure" "$(tail -n 1 "$work/peak")" >>"$results" <<'PY'
import json, statistics, sys
path, name, scenario, peak = sys.argv[1:]
r = next(x for x in json.load(open(path))['results'] if x['command'] == name)
print(f"{scenario}\t{name}\t0\t{statistics.median(r['times'])}\t{r['user'] + r['system']}\t{int(peak) / 1024}")
PY
    done
}

echo "connection test, $connect_runs runs each"
py_clear="import smtplib; s = smtplib.SMTP('127.0.0.1', $clear_port); s.ehlo(); s.quit()"
py_tls="import smtplib, ssl; s = smtplib.SMTP_SSL('127.0.0.1', $tls_port, context=ssl._create_unverified_context()); s.ehlo(); s.quit()"
py_starttls="import smtplib, ssl; s = smtplib.SMTP('127.0.0.1', $starttls_port); s.starttls(context=ssl._create_unverified_context()); s.ehlo(); s.quit()"
connect_figures clear \
    ours "$cli connect --no-stored --tab smtp --host 127.0.0.1 --port $clear_port --auth none" \
    "msmtp --serverinfo" "msmtp --serverinfo --host=127.0.0.1 --port=$clear_port --tls=off" \
    "curl NOOP" "curl -s smtp://127.0.0.1:$clear_port --request NOOP" \
    "swaks --quit-after EHLO" "swaks --server 127.0.0.1 --port $clear_port --to sink@sortello.test --quit-after EHLO" \
    smtplib "$py -c \"$py_clear\""
connect_figures "implicit TLS" \
    ours "$cli connect --no-stored --tab smtp-tls --use-tls implicit --auth none --host 127.0.0.1 --port $tls_port" \
    "msmtp --serverinfo" "msmtp --serverinfo --host=127.0.0.1 --port=$tls_port --tls=on --tls-starttls=off --tls-certcheck=off" \
    "curl NOOP" "curl -s -k smtps://127.0.0.1:$tls_port --request NOOP" \
    "swaks --quit-after EHLO" "swaks --server 127.0.0.1 --port $tls_port --tls-on-connect --to sink@sortello.test --quit-after EHLO" \
    smtplib "$py -c \"$py_tls\""
# The connection test never runs STARTTLS; the check runs it as a send would.
connect_figures STARTTLS \
    ours "$cli check --no-stored --tab smtp-tls --use-tls require --auth none --host 127.0.0.1 --port $starttls_port" \
    "msmtp --serverinfo" "msmtp --serverinfo --host=127.0.0.1 --port=$starttls_port --tls=on --tls-starttls=on --tls-certcheck=off" \
    "curl NOOP" "curl -s -k --ssl-reqd smtp://127.0.0.1:$starttls_port --request NOOP" \
    "swaks --quit-after EHLO" "swaks --server 127.0.0.1 --port $starttls_port --tls --to sink@sortello.test --quit-after EHLO" \
    smtplib "$py -c \"$py_starttls\""
hyperfine -N --style none --warmup 3 --runs "$connect_runs" --export-json "$work/floor.json" /bin/true >/dev/null 2>&1
floor=$(python3 -c "import json, statistics; print(statistics.median(json.load(open('$work/floor.json'))['results'][0]['times']) * 1000)")

echo "attachment sends"
SINK_PORT=$clear_port TLS_PORT=$tls_port STARTTLS_PORT=$starttls_port RESULTS=$results FAILURES=$failures \
    bash "$root/bench/send_bench.sh" "$build"

echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$results" "$floor" <<'PY'
import collections, statistics, sys
rows = [l.split('\t') for l in open(sys.argv[1]).read().splitlines() if l]
by = collections.OrderedDict()
for s, t, p, w, c, m in rows:
    by.setdefault(s, collections.OrderedDict()).setdefault(t, []).append((float(p), float(w), float(c), float(m)))
print()
print(f"process floor (/bin/true): {float(sys.argv[2]):.2f} ms")
print("ratio = figure / best peer's figure (MiB/s: best peer's / figure), so above 1.00 is behind")
head = f"{'figure':22s} {'tool':24s} {'wall':>10s} {'ratio':>6s} {'MiB/s':>8s} {'ratio':>6s} {'CPU s':>7s} {'ratio':>6s} {'peak MiB':>9s} {'ratio':>6s}"
print(head)
print('-' * len(head))
behind = []
for scenario, tools in by.items():
    med = {t: [statistics.median(x[i] for x in runs) for i in range(4)] for t, runs in tools.items()}
    peers = {t: v for t, v in med.items() if t != 'ours'}
    if not peers:
        continue
    connect = scenario.startswith('connect')
    best_wall = min(v[1] for v in peers.values())
    best_cpu = min(v[2] for v in peers.values())
    best_mem = min(v[3] for v in peers.values())
    best_rate = max(v[0] / v[1] for v in peers.values()) if not connect else None
    for t, (p, w, c, m) in med.items():
        wall = f"{w * 1000:7.2f} ms" if connect else f"{w:8.3f} s"
        rate = f"{p / w:8.1f} {best_rate / (p / w):6.2f}" if not connect else f"{'':8s} {'':6s}"
        print(f"{scenario:22s} {t:24s} {wall:>10s} {w / best_wall:6.2f} {rate} {c:7.3f} {c / best_cpu:6.2f} {m:9.1f} {m / best_mem:6.2f}")
        if t == 'ours':
            for what, r in (('wall', w / best_wall), ('CPU', c / best_cpu), ('peak memory', m / best_mem)):
                if r >= 1.005:
                    best = min(peers, key=lambda k: peers[k][{'wall': 1, 'CPU': 2, 'peak memory': 3}[what]])
                    behind.append(f"{scenario}: {what} {r:.2f}x {best}")
    print()
print("ours behind the best peer:" if behind else "ours behind the best peer: nothing")
for b in behind:
    print("  " + b)
PY
if [ -s "$failures" ]; then
    echo
    echo "commands that failed (left out of the table above):"
    while IFS=$'\t' read -r figure name cmd; do printf '  %s: "%s": %s\n' "$figure" "$name" "$cmd"; done <"$failures"
    exit 1
fi
