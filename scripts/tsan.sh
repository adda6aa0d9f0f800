#!/usr/bin/env bash
# Builds the tests that run the connect with a time-out (the connect thread
# and the thread that waits for it) with ThreadSanitizer into ./build-tsan
# and runs them; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TSAN_BUILD_DIR:-build-tsan}
tests=(IdTCPClientTest IdStackTest HostileServerTest)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" \
  -DMAILSORTELLO_SANITIZE=thread -DMAILSORTELLO_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${tests[@]}"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/sanitizers/tsan.supp"
# Kernels with many bits of mmap randomisation break the TSan runtime of
# this compiler; running without address randomisation avoids that.
run=()
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then run=(setarch "$(uname -m)" -R); fi
status=0
for t in "${tests[@]}"; do
  echo "== $t"
  "${run[@]}" "$build/tests/$t" --gtest_brief=1 || status=1
done
exit $status
