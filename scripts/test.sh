#!/usr/bin/env bash
# Installs what is needed, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600
# The Debian package from the same build tree: checked by lintian, its
# contents inspected, and (as root, on a machine without the program)
# installed, used, removed and purged.
# Its output also goes to standard error as it comes (not by reopening
# /dev/stderr, which would truncate a log file standard error is).
deb=$(bash scripts/package-deb.sh | tee >(cat >&2) | tail -n 1)
bash tests/packaging/PackageTest.sh "$deb"
# The same tests again under AddressSanitizer and UBSan, then the
# connect-with-time-out tests under ThreadSanitizer; then the Windows build
# and its tests under Wine.
bash scripts/asan.sh
bash scripts/tsan.sh
bash scripts/test-windows.sh
