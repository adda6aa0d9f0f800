#!/usr/bin/env bash
# Installs what is needed, builds and starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
cmake --install build --prefix /usr/local >/dev/null
exec ./build/app/mailsortello "$@"
