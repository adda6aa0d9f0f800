#!/usr/bin/env bash
# The Debian package as a machine gets it: its contents and control data,
# then (as root) apt-get install, the installed programs, manual pages and
# completion, apt-get remove (only the conffile stays) and purge (nothing
# stays). Usage: PackageTest.sh DEB
# A machine that already has any of the package's files (an install by
# hand, the package itself) is left alone: the install part is skipped.
set -uo pipefail
deb=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
source "$here/MapiHandOff.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  if [ $failures -gt 0 ]; then
    echo "package: $failures failed"
    exit 1
  fi
  echo "package: ${1:-all checks passed}"
  exit 0
}

expected=$(LC_ALL=C sort "$here/installed-files.txt")
contents=$(dpkg-deb -c "$deb") || { fail "dpkg-deb -c $deb"; finish; }
files=$(awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' <<<"$contents" | LC_ALL=C sort)
[ "$files" = "$expected" ] || { fail "package files (< expected, > in the package):"; diff <(echo "$expected") <(echo "$files") | grep '^[<>]'; }
owners=$(awk '{ print $2 }' <<<"$contents" | sort -u)
[ "$owners" = root/root ] || fail "files owned by $owners"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libssl3 xdg-utils qt6-qpa-plugins libqt6widgets6 libc6; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = mailsortello ] || fail "package name"
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles 2>/dev/null)
[ "$conffiles" = /etc/xdg/mailsortello/HKEY_LOCAL_MACHINE.reg ] || fail "conffiles: '$conffiles'"

if [ "$(id -u)" != 0 ]; then finish "contents checked; install skipped (not root)"; fi
if dpkg-query -W -f='${Status}' mailsortello 2>/dev/null | grep -q installed; then
  finish "contents checked; install skipped (mailsortello is installed here)"
fi
while read -r file; do
  [ -e "/$file" ] && finish "contents checked; install skipped (/$file exists)"
done <<<"$expected"

work=$(mktemp -d /tmp/mailsortello-package-XXXXXX)
cleanup() {
  dpkg-query -W mailsortello >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get purge -y -q mailsortello >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "$deb" >"$work/install.log" 2>&1 || { fail "apt-get install: $(tail -5 "$work/install.log")"; finish; }

while read -r file; do
  [ -f "/$file" ] || fail "/$file not installed"
done <<<"$expected"
[ "$(/usr/bin/mailsortello-cli --version)" = "mailsortello-cli $(dpkg-deb -f "$deb" Version)" ] || fail "installed mailsortello-cli --version"
/usr/bin/mailsortello --version | grep -q "^mailsortello $(dpkg-deb -f "$deb" Version) " || fail "installed mailsortello --version"
for program in /usr/bin/mailsortello /usr/bin/mailsortello-cli; do
  missing=$(ldd "$program" | grep 'not found')
  [ -z "$missing" ] || fail "$program: $missing"
done
# The machine-wide settings as installed switch Simple MAPI on; the
# library comes from the private folder, without LD_LIBRARY_PATH.
status=$(mapi_hand_off /usr/bin/mailsortello-cli /etc/xdg "$work")
[ "$status" = 0 ] && grep -qx ufficio@example.net "$work/xdg-email.args" 2>/dev/null ||
  fail "installed hand-off: status $status; $(cat "$work/mapi.out")"
for page in mailsortello mailsortello-cli; do
  [ "$(man -w "$page" 2>/dev/null)" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page: $(man -w "$page" 2>&1)"
  warnings=$(MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page warns: $warnings"
done
registered=$(bash -c 'source /usr/share/bash-completion/completions/mailsortello-cli && complete -p mailsortello-cli' 2>&1)
[[ $registered == *"mailsortello-cli" ]] || fail "installed completion: $registered"

# What the programs may leave beside the machine-wide file (a lock, a copy
# moved aside) goes with the purge too.
touch /etc/xdg/mailsortello/HKEY_LOCAL_MACHINE.reg.lock /etc/xdg/mailsortello/HKEY_LOCAL_MACHINE.reg.corrupt-20261211-120000
apt-get remove -y -q mailsortello >"$work/remove.log" 2>&1 || fail "apt-get remove: $(tail -5 "$work/remove.log")"
while read -r file; do
  case /$file in
    /etc/*) [ -f "/$file" ] || fail "apt-get remove took the conffile /$file" ;;
    *) [ -e "/$file" ] && fail "/$file left after apt-get remove" ;;
  esac
done <<<"$expected"
apt-get purge -y -q mailsortello >"$work/purge.log" 2>&1 || fail "apt-get purge: $(tail -5 "$work/purge.log")"
while read -r file; do
  [ -e "/$file" ] && fail "/$file left after apt-get purge"
done <<<"$expected"
for folder in /etc/xdg/mailsortello /usr/lib/mailsortello /usr/share/doc/mailsortello; do
  [ -e "$folder" ] && fail "$folder left after apt-get purge: $(ls -A "$folder")"
done
dpkg-query -W mailsortello >/dev/null 2>&1 && fail "dpkg still knows mailsortello after the purge"
finish
