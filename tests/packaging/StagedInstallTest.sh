#!/usr/bin/env bash
# The install rules of a build tree, staged under a temporary root
# (DESTDIR, prefix /usr, as the package has them): exactly the expected
# files, the programs find libmapi32.so in their private folder, the
# metadata validates. Usage: StagedInstallTest.sh BUILD_DIR
set -uo pipefail
build=$1
here=$(dirname "$(realpath "$0")")
source "$here/MapiHandOff.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d /tmp/mailsortello-staged-XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
expected=$(LC_ALL=C sort "$here/installed-files.txt")
[ "$actual" = "$expected" ] || { fail "installed files (< expected, > installed):"; diff <(echo "$expected") <(echo "$actual") | grep '^[<>]'; }

for entry in usr/bin/mailsortello:755 usr/bin/mailsortello-cli:755 etc/xdg/mailsortello/HKEY_LOCAL_MACHINE.reg:644 \
             usr/share/bash-completion/completions/mailsortello-cli:644; do
  mode=$(stat -c %a "$root/${entry%%:*}" 2>/dev/null)
  [ "$mode" = "${entry##*:}" ] || fail "${entry%%:*}: mode $mode, expected ${entry##*:}"
done

# Nothing beside the staged program: the hand-off works only through the
# private folder, and stops working without it.
status=$(mapi_hand_off "$root/usr/bin/mailsortello-cli" "$root/etc/xdg" "$work")
[ "$status" = 0 ] && grep -qx ufficio@example.net "$work/xdg-email.args" 2>/dev/null ||
  fail "staged hand-off: status $status, xdg-email $(cat "$work/xdg-email.args" 2>/dev/null || echo 'not started'); $(cat "$work/mapi.out")"
mv "$root/usr/lib/mailsortello" "$work/moved"
status=$(mapi_hand_off "$root/usr/bin/mailsortello-cli" "$root/etc/xdg" "$work")
[ "$status" = 8 ] && [ ! -e "$work/xdg-email.args" ] || fail "without the private folder: status $status, expected 8 and no xdg-email"
mv "$work/moved" "$root/usr/lib/mailsortello"

for page in mailsortello mailsortello-cli; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | cmp -s - "$build/docs/man/$page.1" || fail "$page.1.gz is not the built page"
done
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/it.telvara.mailsortello.metainfo.xml" >"$work/as.log" 2>&1 ||
    fail "metainfo: $(cat "$work/as.log")"
  launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$root/usr/share/metainfo/it.telvara.mailsortello.metainfo.xml")
  [ -f "$root/usr/share/applications/$launchable" ] || fail "metainfo launches '$launchable', not installed"
else
  echo "note: appstreamcli missing, metadata not validated"
fi
icon=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/mailsortello.desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "desktop entry's icon '$icon' has no scalable icon"

if [ $failures -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "staged install complete"
