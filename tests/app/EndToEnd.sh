#!/usr/bin/env bash
# The assembled program end to end: under Xvfb it restores a prepared
# settings file, "Invia mail" is clicked on its tool bar, and aiosmtpd must
# receive the message. Usage: EndToEnd.sh PROGRAM SERVER_SCRIPT
set -euo pipefail
program=$1
server_script=$2
for tool in xvfb-run xdotool /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
/usr/bin/python3 -c "import aiosmtpd" 2>/dev/null || { echo "skipped: aiosmtpd missing"; exit 77; }

work=$(mktemp -d /tmp/mailsortello-e2e-XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/store" "$work/home/mailsortello" "$work/etc"

mkfifo "$work/keep"
/usr/bin/python3 "$server_script" --store "$work/store" <"$work/keep" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
exec 3>"$work/keep"
for _ in $(seq 100); do
  grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/^PORT //p' "$work/server.out")
[ -n "$port" ] || { echo "aiosmtpd did not start"; cat "$work/server.err"; exit 1; }

printf '%s\r\n' \
  'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\TelVara\Base\TFormMailSortello]' \
  '"PageControl_ActivePage"="TabSheetSMTP"' \
  '"edtHost_smtp_Text"="127.0.0.1"' \
  "\"edtPort_smtp_Text\"=\"$port\"" \
  '"edtAuthType_smtp_ItemIndex"="0"' \
  '"edtSender_Text"="tecnico@sortello.test"' \
  '"edtSubject_Text"="Prova dal programma"' '' \
  '[HKEY_CURRENT_USER\Software\TelVara\Base\TFormMailSortello.edtRecipients_Lines]' \
  '"Count"="1"' '"Item0"="ufficio@sortello.test"' '' \
  '[HKEY_CURRENT_USER\Software\TelVara\Base\TFormMailSortello.edtBody_Lines]' \
  '"Count"="1"' '"Item0"="Messaggio end to end."' '' >"$work/home/mailsortello/HKEY_CURRENT_USER.reg"

cat >"$work/drive.sh" <<'DRIVE'
set -eu
QT_QPA_PLATFORM=xcb "$PROGRAM" 2>"$WORK/trace.txt" &
app=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name 'TelVara - Sortello e-mail' | head -1)
[ -n "$wid" ] || { echo "the window did not appear"; kill "$app"; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
# "Invia mail" is the second tool-bar button, at the bottom left.
xdotool mousemove --window "$wid" 150 $((HEIGHT - 22)) click 1
for _ in $(seq 300); do
  [ -e "$WORK/store/1.eml" ] && break
  sleep 0.1
done
kill "$app"
DRIVE
XDG_CONFIG_HOME="$work/home" XDG_CONFIG_DIRS="$work/etc" PROGRAM="$program" WORK="$work" \
  xvfb-run -a -s "-screen 0 1024x900x24" bash "$work/drive.sh"

[ -e "$work/store/1.eml" ] || { echo "no message arrived"; cat "$work/trace.txt"; exit 1; }
grep -q '^Subject: Prova dal programma' "$work/store/1.eml" || { echo "wrong message"; cat "$work/store/1.eml"; exit 1; }
grep -q 'Messaggio end to end.' "$work/store/1.eml"
grep -qx 'ufficio@sortello.test' "$work/store/1.env"
grep -q '^> actInviaMailExecute - Recipients.EMailAddresses="ufficio@sortello.test"' "$work/trace.txt"
echo "message received"
