#!/usr/bin/env bash
# fyldra3-scan against file(1) on many small files already in the page cache.
#
#   bench/scan_vs_file.sh [FYLDRA3_SCAN] [COUNT]
#
# FYLDRA3_SCAN defaults to build/scan/fyldra3-scan, COUNT to 20000. Makes
# COUNT small files in a temporary folder (bench/make_tree.sh), reads them
# all once so they are in the page cache, then times, each the best of three runs, output to /dev/null:
#
#   arguments:  the same NUL-separated list of the files given as arguments
#               through xargs -0 to `file --` and to `fyldra3-scan --`
#               (xargs splits it the same way for both);
#   folder:     `fyldra3-scan -r DIR` against `find DIR -type f -print0 |
#               xargs -0 file --` (file(1) has no recursive mode).
#
# fyldra3-scan runs with its default number of jobs (the processors). Prints
# both times and the ratio for each case. The temporary folder is removed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
scan="${1:-$here/build/scan/fyldra3-scan}"
count="${2:-20000}"
[[ -x "$scan" ]] || { echo "not found: $scan (build it, or give its path)" >&2; exit 2; }
command -v file >/dev/null || { echo "file(1) is missing (./setup.sh --test installs it)" >&2; exit 2; }
scan="$(cd "$(dirname "$scan")" && pwd)/$(basename "$scan")"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/fyldra3-bench.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
tree="$tmp/tree"
mkdir -p "$tree"

# --- the files ---------------------------------------------------------------
"$here/bench/make_tree.sh" "$tree" "$count" "$tmp/list"
cd "$tree"
files=$(tr -cd '\0' <"$tmp/list" | wc -c)
xargs -0 cat <"$tmp/list" >/dev/null  # into the page cache

# --- timing ------------------------------------------------------------------
# Seconds of the best of three runs of the command (after one warm-up run).
best() {
  local best="" t0 t1 t i
  "$@" >/dev/null 2>&1 || true
  for i in 1 2 3; do
    t0=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    t1=$EPOCHREALTIME
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}
file_args() { xargs -0 file -- <"$tmp/list"; }
scan_args() { xargs -0 "$scan" -- <"$tmp/list"; }
file_tree() { find "$tree" -type f -print0 | xargs -0 file --; }
scan_tree() { "$scan" -r "$tree"; }

# The same verdict count either way, as a check that both cases did the work.
lines_args=$(scan_args | wc -l)
lines_tree=$(scan_tree | wc -l)
if [[ "$lines_args" -ne "$files" || "$lines_tree" -ne "$files" ]]; then
  echo "fyldra3-scan printed $lines_args / $lines_tree lines for $files files" >&2
  exit 1
fi

fa=$(best file_args); sa=$(best scan_args)
ft=$(best file_tree); st=$(best scan_tree)
echo "$files files in $(find "$tree" -mindepth 1 -type d | wc -l) folders, $(du -sh "$tree" | cut -f1), page cache warm; $(nproc) processors; $(file --version | head -1)"
printf '%-34s %9s %9s %8s\n' case 'file(1)' fyldra3-scan ratio
ratio() { awk -v f="$1" -v s="$2" 'BEGIN { if (s > 0) printf "1/%.1f", f / s; else print "-" }'; }
printf '%-34s %8ss %8ss %8s\n' "list of arguments (xargs -0)" "$fa" "$sa" "$(ratio "$fa" "$sa")"
printf '%-34s %8ss %8ss %8s\n' "folder (-r / find | xargs file)" "$ft" "$st" "$(ratio "$ft" "$st")"
