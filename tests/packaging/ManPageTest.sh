#!/usr/bin/env bash
# The built manual pages against the programs: every option and exit
# status that mailsortello-cli --help lists has its entry in the page and
# the page lists no other, the versions agree, each page has its sections
# and renders at 80 columns without a warning from man.
# Usage: ManPageTest.sh CLI WINDOW MAN_DIR
set -uo pipefail
cli=$1 window=$2 man_dir=$3
command -v man >/dev/null || { echo "skipped: man missing"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The page as a reader sees it, in plain ASCII (no Unicode hyphens).
render() { LC_ALL=C MANWIDTH=${2:-200} man -l "$1" 2>/dev/null; }
# The lines of one section of a rendered page.
section() { render "$1" | awk -v want="$2" '/^[A-Z]/ { on = ($0 == want); next } on'; }
# The tags of a section's entries (indented by 7 columns).
tags() { section "$1" "$2" | sed -n 's/^       \([^ ]\{1,\}\).*/\1/p' | sort; }
compare() {  # what expected actual
  if [ "$2" != "$3" ]; then
    fail "$1 differ (< --help, > manual page):"
    diff <(echo "$2") <(echo "$3") | grep '^[<>]'
  fi
}

cli_page=$man_dir/mailsortello-cli.1
window_page=$man_dir/mailsortello.1
help=$("$cli" --help)

help_options=$(sed -n 's/^  \(--[a-z0-9-]\{1,\}\).*/\1/p' <<<"$help" | sort)
[ -n "$help_options" ] || fail "no option found in --help"
compare "options" "$help_options" "$(tags "$cli_page" OPTIONS | grep '^--')"

help_statuses=$(sed -n '/^Exit status:/,$ s/^  \([0-9]\{1,\}\)  .*/\1/p' <<<"$help" | sort)
[ -n "$help_statuses" ] || fail "no exit status found in --help"
compare "exit statuses" "$help_statuses" "$(tags "$cli_page" "EXIT STATUS")"

# Each command has its entry under DESCRIPTION.
help_commands=$(sed -n 's/^  \([a-z]\{1,\}\)  .*/\1/p' <<<"$help")
[ -n "$help_commands" ] || fail "no command found in --help"
for command in $help_commands; do
  tags "$cli_page" DESCRIPTION | grep -qx "$command" || fail "command $command has no entry under DESCRIPTION"
done

for case in "$cli_page|$("$cli" --version)" "$window_page|$("$window" --version)"; do
  page=${case%%|*} version_line=${case#*|}
  version=$(awk '{ print $2 }' <<<"$version_line")
  footer=$(render "$page" | tail -n 1)
  [[ $footer == *"mailsortello $version "* ]] || fail "$page: footer '$footer' lacks version $version ($version_line)"
  for name in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO"; do
    render "$page" | grep -qx "$name" || fail "$page: no section $name"
  done
  for variable in LC_ALL LANG XDG_CONFIG_HOME XDG_CONFIG_DIRS; do
    section "$page" ENVIRONMENT | grep -Eq "^       (.*[ ,])?$variable(,|$)" || fail "$page: $variable not under ENVIRONMENT"
  done
  for file in mailsortello/HKEY_CURRENT_USER.reg /etc/xdg/mailsortello/HKEY_LOCAL_MACHINE.reg; do
    section "$page" FILES | grep -q "$file" || fail "$page: $file not under FILES"
  done
  # An unknown request or a line too long to set is a warning; the UTF-8
  # terminal and the plain one both.
  for locale in C.UTF-8 C; do
    warnings=$(LC_ALL=$locale MANWIDTH=80 man -l --warnings "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page ($locale): man warns: $warnings"
  done
done
tags "$window_page" OPTIONS | grep -qx -- --version || fail "$window_page: --version not under OPTIONS"

if [ $failures -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "manual pages agree with the programs"
