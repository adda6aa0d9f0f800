# Sourced by the install tests. mapi_hand_off CLI ETC_XDG WORK: a Simple
# MAPI send with CLI, the machine-wide settings from ETC_XDG and a fake
# xdg-email that records its arguments in WORK/xdg-email.args; prints the
# exit status. The library is found only if the hand-off reaches xdg-email.
mapi_hand_off() {
  local cli=$1 etc=$2 work=$3
  mkdir -p "$work/bin" "$work/config"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s/xdg-email.args"\n' "$work" >"$work/bin/xdg-email"
  chmod 755 "$work/bin/xdg-email"
  rm -f "$work/xdg-email.args"
  # A clean environment, but a sanitizer build keeps its options.
  local keep=()
  for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    [ -n "${!name:-}" ] && keep+=("$name=${!name}")
  done
  env -i "${keep[@]}" PATH="$work/bin:/usr/bin:/bin" LANG=C.UTF-8 HOME="$work" XDG_CONFIG_HOME="$work/config" \
    XDG_CONFIG_DIRS="$etc" "$cli" send --no-stored --tab mapi --to ufficio@example.net \
    --subject Prova --body Corpo >"$work/mapi.out" 2>"$work/mapi.err"
  echo $?
}
