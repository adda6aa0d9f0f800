#!/usr/bin/env bash
# Installs what is needed, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600
# The same tests again under AddressSanitizer and UBSan, then the
# connect-with-time-out tests under ThreadSanitizer; then the Windows build
# and its tests under Wine.
bash scripts/asan.sh
bash scripts/tsan.sh
bash scripts/test-windows.sh
