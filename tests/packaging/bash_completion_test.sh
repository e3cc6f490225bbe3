#!/usr/bin/env bash
# The bash completion of fyldra3-scan offers the options --help lists, the
# values of -j and --hash, list files after -f and paths elsewhere (only paths after --).
#   bash_completion_test.sh COMPLETION FYLDRA3_SCAN
source "$(dirname "$0")/common.sh"
completion=$1 scan=$2
source "$completion"
cd "$scratch"
mkdir folder
touch a.doc ab.rtf list.txt -- -dash.doc folder/inside.txt

# offers WORD...: what completing the last word offers, one per line, sorted.
offers() {
  COMP_WORDS=(fyldra3-scan "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _fyldra3_scan
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {
  local want=$1 got
  shift
  got=$(offers "$@")
  [[ "$got" == "$want" ]] || fail "completing '$*': expected [${want//$'\n'/ }], got [${got//$'\n'/ }]"
}

complete -p fyldra3-scan | grep -q -- '-F _fyldra3_scan fyldra3-scan$' || fail "sourcing $completion sets no completion"
expect '--json' --js
expect '--recursive' --r
expect 'sha256' --hash sha2
expect $'a.doc\nab.rtf' a
expect 'folder' fo
expect 'folder/inside.txt' folder/
expect 'list.txt' -f li
expect 'list.txt' --files-from = l
offers -f '' | grep -qx -- - || fail "-f does not offer - (standard input)"
expect '-dash.doc' -- -d
expect "$(seq 1 "$(nproc)")" -j ''
expect "$(seq 1 "$(nproc)" | grep '^1')" --jobs = 1
expect "$(seq 1 "$(nproc)")" --jobs =

# Exactly the options of --help (lines starting with "  -"), "--" included.
"$scan" --help | grep -E '^  -' | grep -oE '(^|[ ,])--?[A-Za-z0-9-]*' | tr -d ' ,' | sort -u >help-options
printf '%s\n' "${_fyldra3_scan_options[@]}" | sort -u >completion-options
diff -u help-options completion-options || fail "options of --help (-) and the completion (+) differ"
echo "completion checked"
