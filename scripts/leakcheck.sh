#!/usr/bin/env bash
# Leak check of the end-to-end tests: the window tests (tests/app/), the
# command-line tests and the SMTP tests that drive whole sessions, run
# under LeakSanitizer from the sanitizer build (scripts/asan.sh builds it). A definite leak of our own
# code fails the run; leaks inside Qt and the font stack are suppressed in
# scripts/sanitizers/lsan.supp.
#   bash scripts/leakcheck.sh             LeakSanitizer (./build-asan)
#   bash scripts/leakcheck.sh valgrind    valgrind memcheck over a plain build (./build)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-lsan}
export QT_QPA_PLATFORM=offscreen
e2e=(tests/app/*Test tests/MailSortelloCliTest tests/IdSMTPTest tests/HostileServerTest tests/SendByMapiTest tests/SendByMailtoTest
     tests/SmtpRealServerTest)

if [ "$mode" = valgrind ]; then
  build=${LEAK_BUILD_DIR:-build}
  [ -d "$build/tests" ] || bash scripts/build.sh
  run=(valgrind --quiet --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite
       --error-exitcode=99 --suppressions=/dev/null)
else
  build=${ASAN_BUILD_DIR:-build-asan}
  [ -d "$build/tests" ] || ASAN_BUILD_DIR="$build" bash scripts/asan.sh
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/sanitizers/lsan.supp:print_suppressions=0:report_objects=1"
  run=()
fi

status=0
shopt -s nullglob
for pattern in "${e2e[@]}"; do
  for program in "$build"/$pattern; do
    [ -x "$program" ] || continue
    echo "== $program"
    if ! "${run[@]}" "$program" --gtest_brief=1; then
      echo "!! $program: leak or failure"
      status=1
    fi
  done
done
exit $status
