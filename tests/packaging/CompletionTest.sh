#!/usr/bin/env bash
# The bash completion of mailsortello-cli, sourced and queried as bash
# does on Tab (COMP_WORDS, COMP_CWORD, then COMPREPLY), against the program
# itself: the options are those of --help, a fixed value list is the one
# the program names when it refuses a value, and a FILE option completes
# file names. Usage: CompletionTest.sh COMPLETION_FILE CLI
set -uo pipefail
completion=$1 cli=$(realpath "$2")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# shellcheck source=/dev/null
source "$completion"
function=$(complete -p mailsortello-cli 2>/dev/null | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
[ -n "$function" ] || { echo "FAIL: no completion function registered for mailsortello-cli"; exit 1; }

# The sorted candidates for the words typed; the last word is the one
# being completed ("" after a space).
complete_words() {
  COMP_WORDS=(mailsortello-cli "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "$function" mailsortello-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort | paste -sd' ' -
}
expect() {  # expected words...
  local expected=$1
  shift
  local actual
  actual=$(complete_words "$@")
  [ "$actual" = "$expected" ] || fail "[$*]: expected '$expected', got '$actual'"
}

help=$("$cli" --help)
options=$(sed -n 's/^  \(--[a-z0-9-]\{1,\}\).*/\1/p' <<<"$help" | LC_ALL=C sort | paste -sd' ' -)
[ -n "$options" ] || fail "no option found in --help"
commands=$(sed -n 's/^  \([a-z]\{1,\}\)  .*/\1/p' <<<"$help" | LC_ALL=C sort | paste -sd' ' -)
[ -n "$commands" ] || fail "no command found in --help"

# Commands and options.
expect "$commands" ""
expect "send" se
expect "$options" send ""
expect "$options" --
expect "--tab --timeout --tls-info --tls-verify --to --transcript" send --t
expect "$commands" --no-stored ""
# A value is no command: after "--host send" the command is still missing.
expect "$commands" --host send ""
expect "$commands" --tab = smtp ""
expect "$options" --tab smtp connect ""

# Every option that takes a value, as --help shows it ("--tab TAB").
work=$(mktemp -d /tmp/mailsortello-completion-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cartella"
touch "$work/report.pdf" "$work/con spazio.txt" "$work/città.txt"
cd "$work" || exit 1
while read -r option metavar; do
  # The program's own list of the values it takes, from its refusal.
  refusal=$("$cli" "$option" "?" 2>&1)
  values=$(sed -n 's/.*(one of \(.*\))$/\1/p' <<<"$refusal" | sed 's/, / /g' | tr ' ' '\n' | LC_ALL=C sort | paste -sd' ' -)
  if [ -n "$values" ]; then
    expect "$values" "$option" ""
    expect "$values" "$option" =
    first=${values%% *}
    expect "$(tr ' ' '\n' <<<"$values" | grep "^${first:0:2}" | paste -sd' ' -)" "$option" = "${first:0:2}"
  elif [ "$metavar" = FILE ]; then
    expect "cartella città.txt con spazio.txt report.pdf" "$option" ""
    expect "cartella città.txt con spazio.txt" "$option" "c"
    expect "città.txt" "$option" "ci"
    expect "report.pdf" "$option" = r
    expect "$work/report.pdf" "$option" "$work/rep"
  else
    # Free text: nothing to offer, and never the options or commands.
    expect "" "$option" ""
    expect "" "$option" s
  fi
done < <(sed -n 's/^  \(--[a-z0-9-]\{1,\}\) \([A-Z][A-Z_]*\) .*/\1 \2/p' <<<"$help")

if [ $failures -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "completion agrees with the program"
