#!/usr/bin/env bash
# Installs the MinGW-w64 cross-compiler and builds the Windows programs and
# their tests into build-win64/ (mailsortello-cli.exe, statically linked).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps-windows.sh
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release ${MAILSORTELLO_WIN_CMAKE_ARGS:-} >/dev/null
cmake --build build-win64 -j"$(nproc)"
