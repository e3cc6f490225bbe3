#!/usr/bin/env bash
# End-to-end: the real fyldra3 under Xvfb, as a person would use it.
#   own_session.sh e2e_test.sh FYLDRA3 X11_WINDOW DATA_DIR OUT_DIR
# (own_session.sh gives it empty HOME and XDG folders and a private session bus.)
# Leaves its screenshots in OUT_DIR: screenshot.png (the window with a report),
# progress.png, dialog.png, cancelled.png (the whole screen at each state).
set -euo pipefail
app=$1 helper=$2 data=$3 out=$4

if [[ -z "${FYLDRA3_E2E_DISPLAY:-}" ]]; then
  for tool in xvfb-run xauth import xprop; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (./setup.sh --test installs it)"; exit 77; }
  done
  exec env FYLDRA3_E2E_DISPLAY=1 xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$out"
rm -f "$out"/*.png
# HOME and XDG_CONFIG_HOME start empty and must stay so; fontconfig's cache
# (refreshed when the system's is stale) goes to XDG_CACHE_HOME, apart from them.
for dir in HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR; do
  [[ -n "${!dir:-}" && -d "${!dir}" ]] || fail "$dir is not a folder of this run's own (run through own_session.sh)"
done
[[ -z $(find "$HOME" "$XDG_CONFIG_HOME" -mindepth 1) ]] || fail "HOME or XDG_CONFIG_HOME is not empty at the start"
[[ "$XDG_CONFIG_HOME" != "$HOME"/* && "$XDG_CACHE_HOME" != "$HOME"/* ]] || fail "the XDG folders must lie outside HOME"
export QT_QPA_PLATFORM=xcb

# Ends the program by closing the named window; its exit status must be 0.
close_and_wait() {
  local pid=$1 name=$2 status=0
  "$helper" close "$name" || fail "no window \"$name\" to close"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "still running 5 s after its window was closed"; }
  wait "$pid" || status=$?
  [[ $status -eq 0 ]] || fail "exit status $status after closing the window"
}

not_blank() {
  local colours
  colours=$(convert "$1" -format %k info:)
  [[ $colours -gt 8 ]] || fail "$1 looks blank ($colours colours)"
}

# 1. Started on a real Word 97 file, as the README's run command does:
#    progress, then the report; the window stays up.
cd "$data/../.."
[[ -f tests/data/simple.doc ]] || fail "no tests/data/simple.doc under $PWD"
"$app" tests/data/simple.doc &
pid=$!
wid=$("$helper" wait Fyldra3.0 10) || fail 'no window titled "Fyldra3.0" came up'
sleep 0.3
import -window root "$out/progress.png"
hints=$(xprop -id "$wid" _MOTIF_WM_HINTS)
echo "$hints"
read -r flags functions decorations _ < <(echo "${hints#*= }" | tr -d ,)
(( flags & 1 )) || fail "_MOTIF_WM_HINTS gives no functions: $hints"
(( (functions & 0x01) == 0 && (functions & 0x10) == 0 )) || fail "maximize allowed: $hints"
(( (functions & 0x08) && (functions & 0x20) )) || fail "minimize or close missing: $hints"
(( (decorations & 0x40) == 0 )) || fail "maximize box decorated: $hints"
sleep 1.7
kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
"$helper" wait Fyldra3.0 1 >/dev/null || fail "the window went away"
import -window "$wid" "$out/screenshot.png"
import -window root "$out/report.png"
not_blank "$out/progress.png"
not_blank "$out/screenshot.png"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
close_and_wait "$pid" Fyldra3.0

# 2. Started without a file: the Open dialog comes first; closing it is a cancel.
"$app" &
pid=$!
"$helper" wait 開く 10 >/dev/null || fail 'no Open dialog ("開く") came up'
sleep 0.5
import -window root "$out/dialog.png"
"$helper" wait Fyldra3.0 0 >/dev/null && fail "the window came up before the dialog"
"$helper" close 開く
"$helper" wait Fyldra3.0 10 >/dev/null || fail "no window after cancelling the dialog"
sleep 0.3
import -window root "$out/cancelled.png"
close_and_wait "$pid" Fyldra3.0

# 3. An argument that looks like a Qt option is a path, never an option.
"$app" -platform no-such-plugin &
pid=$!
"$helper" wait Fyldra3.0 10 >/dev/null || fail '"-platform" was taken as a Qt option'
sleep 1.5
close_and_wait "$pid" Fyldra3.0

# The program wrote nothing.
leftovers=$(find "$HOME" "$XDG_CONFIG_HOME" -mindepth 1)
[[ -z $leftovers ]] || fail "files written: $leftovers"
echo "screenshots in $out"
