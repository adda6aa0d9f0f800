#!/bin/bash
# The whole performance suite in one go, on loopback, against one smtp-sink
# (clear) with socat in front of it for implicit TLS: the connection test
# (connect, greeting, EHLO, QUIT, as a whole process) and the 25 MiB and
# 100 MiB attachment sends, ours side by side with curl, msmtp, swaks and
# python3's smtplib. Ends with a table of each figure's ratio to the best
# peer's.
#   bash bench/perf_suite.sh [build-dir]
# CONNECT_RUNS (30), RUNS (3, per send) and SIZES ("25 100") shorten a trial.
# Installs what it needs with apt-get; postfix is installed for smtp-sink
# only, its daemon is never started.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
connect_runs=${CONNECT_RUNS:-30}
cli=$build/app/mailsortello-cli
# The system's python3 as the smtplib peer (see send_bench.sh).
py=$(command -v /usr/bin/python3 || command -v python3)

need=()
for pair in smtp-sink:postfix swaks:swaks curl:curl msmtp:msmtp socat:socat hyperfine:hyperfine \
    openssl:openssl /usr/bin/time:time python3:python3; do
    command -v "${pair%%:*}" >/dev/null || [ -x "/usr/sbin/${pair%%:*}" ] || need+=("${pair#*:}")
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
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) on $(nproc) cores"

# Connection test: hyperfine's median wall time and mean CPU time over
# CONNECT_RUNS runs, and the peak memory of one run under /usr/bin/time.
connect_figures() {
    local mode=$1 port=$2
    shift 2
    local names=() cmds=() args=()
    while [ $# -gt 0 ]; do names+=("$1"); cmds+=("$2"); shift 2; done
    for i in "${!names[@]}"; do args+=(--command-name "${names[$i]}" "${cmds[$i]}"); done
    # Its warnings about outliers would only clutter the table; errors are shown.
    hyperfine -N --style none --warmup 3 --runs "$connect_runs" --export-json "$work/connect.json" \
        "${args[@]}" >/dev/null 2>"$work/hyperfine.err" || { cat "$work/hyperfine.err"; exit 1; }
    for i in "${!names[@]}"; do
        # Split the way hyperfine -N does: shell words, no shell.
        eval "local words=(${cmds[$i]})"
        /usr/bin/time -f '%M' -o "$work/peak" "${words[@]}" >/dev/null 2>&1 || true
        python3 - "$work/connect.json" "${names[$i]}" "connect, $mode" "$(tail -n 1 "$work/peak")" >>"$results" <<'PY'
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
connect_figures clear "$clear_port" \
    ours "$cli connect --no-stored --tab smtp --host 127.0.0.1 --port $clear_port --auth none" \
    "msmtp --serverinfo" "msmtp --serverinfo --host=127.0.0.1 --port=$clear_port --tls=off" \
    "curl NOOP" "curl -s smtp://127.0.0.1:$clear_port --request NOOP" \
    "swaks --quit-after EHLO" "swaks --server 127.0.0.1 --port $clear_port --to sink@sortello.test --quit-after EHLO" \
    smtplib "$py -c \"$py_clear\""
connect_figures "implicit TLS" "$tls_port" \
    ours "$cli connect --no-stored --tab smtp-tls --use-tls implicit --auth none --host 127.0.0.1 --port $tls_port" \
    "msmtp --serverinfo" "msmtp --serverinfo --host=127.0.0.1 --port=$tls_port --tls=on --tls-starttls=off --tls-certcheck=off" \
    "curl NOOP" "curl -s -k smtps://127.0.0.1:$tls_port --request NOOP" \
    "swaks --quit-after EHLO" "swaks --server 127.0.0.1 --port $tls_port --tls-on-connect --to sink@sortello.test --quit-after EHLO" \
    smtplib "$py -c \"$py_tls\""
hyperfine -N --style none --warmup 3 --runs "$connect_runs" --export-json "$work/floor.json" /bin/true >/dev/null 2>&1
floor=$(python3 -c "import json, statistics; print(statistics.median(json.load(open('$work/floor.json'))['results'][0]['times']) * 1000)")

echo "attachment sends"
SINK_PORT=$clear_port TLS_PORT=$tls_port RESULTS=$results bash "$root/bench/send_bench.sh" "$build"

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
