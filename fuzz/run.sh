#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   bash fuzz/run.sh [seconds per target, default 60] [target ...]
# Inputs that make a target fail are copied to fuzz/regressions/<target>/,
# which tests/FuzzRegressionTest replays in the normal test run. The script
# fails when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${FUZZ_BUILD_DIR:-build-fuzz}
cxx=$(command -v clang++ || command -v clang++-14)

# The compiler is chosen once; passing another later would rebuild everything.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S fuzz -B "$build" >/dev/null
else
  cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
fi
cmake --build "$build" -j2 >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(reply email_address header_list header_text quoted_printable base64 registry readln)
fi

failed=()
for target in "${targets[@]}"; do
  work="$build/work/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  echo "== $target: ${seconds}s"
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$work/corpus" >"$work/log" 2>&1; then
    failed+=("$target")
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+.*DONE' "$work/log" || true
  shopt -s nullglob
  for found in "$work"/artifacts/*; do
    mkdir -p fuzz/regressions/"$target"
    cp "$found" fuzz/regressions/"$target"/
    echo "   kept $(basename "$found") in fuzz/regressions/$target/"
  done
  shopt -u nullglob
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (logs in $build/work/<target>/log)"
  exit 1
fi
echo "no findings"
