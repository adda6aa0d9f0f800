#!/usr/bin/env bash
# Installs every Debian 12 package the build, the program and the tests
# need, and the extra packages named as arguments (a script's own tools).
set -euo pipefail
packages=(
  "$@"
  build-essential cmake g++ pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  libssl-dev libssl3 openssl
  xdg-utils fonts-wine
  python3 python3-aiosmtpd
  xvfb xauth xdotool
  locales
  man-db appstream
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
# Tests run under real locales: an Italian desktop and the Japanese code
# pages. A missing locale would silently fall back to "C".
wanted=(it_IT.UTF-8 ja_JP.UTF-8 ja_JP.SJIS ja_JP.EUC-JP en_US.UTF-8)
have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-')
gen=0
for l in "${wanted[@]}"; do
  norm=$(echo "$l" | tr 'A-Z' 'a-z' | tr -d '-')
  grep -qx "$norm" <<<"$have" || gen=1
done
if [ $gen -eq 1 ]; then
  for l in "${wanted[@]}"; do
    charset=${l#*.}
    [ "$charset" = SJIS ] && charset=SHIFT_JIS
    grep -qx "$l $charset" /etc/locale.gen 2>/dev/null || echo "$l $charset" >> /etc/locale.gen
  done
  locale-gen >/dev/null
fi
