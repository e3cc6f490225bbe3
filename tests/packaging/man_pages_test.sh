#!/usr/bin/env bash
# The man pages render without a single groff warning, carry the project's version, and the page
# of fyldra3-scan describes exactly the options its --help lists.
#   man_pages_test.sh MAN_DIR VERSION FYLDRA3_SCAN
source "$(dirname "$0")/common.sh"
dir=$1 version=$2 scan=$3

for page in fyldra3 fyldra3-scan; do
  src="$dir/$page.1"
  MANWIDTH=80 man --warnings -E UTF-8 -l "$src" >"$scratch/$page.txt" 2>"$scratch/$page.err" ||
    { cat "$scratch/$page.err"; fail "man $page"; }
  [[ ! -s "$scratch/$page.err" ]] || { cat "$scratch/$page.err"; fail "$page.1 renders with warnings"; }
  grep -q "^\.TH [^ ]* 1 [^ ]* \"Fyldra3 $version\"" "$src" || fail "$page.1: .TH does not name Fyldra3 $version"
done

# Options named in --help (lines starting with "  -") and in the tags of the page's option section.
"$scan" --help | grep -E '^  -' | grep -oE '(^|[ ,])--?[A-Za-z0-9-]*' | tr -d ' ,' | sort -u >"$scratch/help-options"
sed -n '/^オプション/,/^[^ ]/p' "$scratch/fyldra3-scan.txt" | grep -E '^       -' |
  grep -oE '(^|[ ,])--?[A-Za-z0-9-]*' | tr -d ' ,' | sort -u >"$scratch/man-options"
[[ -s "$scratch/help-options" ]] || fail "no options found in --help"
diff -u "$scratch/help-options" "$scratch/man-options" || fail "options of --help (-) and fyldra3-scan.1 (+) differ"
