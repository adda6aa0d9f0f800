#!/usr/bin/env bash
# Installs the Debian 12 packages the Windows build and its tests need:
# the MinGW-w64 cross-compiler, GoogleTest's sources (built for Windows in
# the same build), Wine to run the programs, and the loopback test peers.
set -euo pipefail
packages=(
  cmake g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest
  wine64 libssl-dev python3 python3-aiosmtpd
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
