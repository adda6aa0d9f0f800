#!/usr/bin/env bash
# The Windows stage of the tests: builds the Windows programs with MinGW-w64
# and runs their tests under Wine (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
bash scripts/build-windows.sh
ctest --test-dir build-win64 --output-on-failure -j"$(nproc)" --timeout 900
echo "Windows stage: $(( $(date +%s) - start )) s"
