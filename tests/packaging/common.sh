# Helpers shared by the packaging tests (sourced).
set -euo pipefail
export LC_ALL=C.UTF-8

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# scratch: a private temporary folder, removed on exit, so parallel runs never meet.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/fyldra3-pkg.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# expected_files LIST WINDOW: the sorted paths of LIST, with the "window" ones only when WINDOW is 1.
expected_files() {
  local path tag
  while read -r path tag; do
    [[ -z "$path" || "$path" == \#* ]] && continue
    [[ "$tag" == window && "$2" != 1 ]] && continue
    echo "$path"
  done <"$1" | sort
}

# check_tree ROOT PREFIX WINDOW: the desktop integration under ROOT/PREFIX is complete and consistent.
check_tree() {
  local root=$1 prefix=$2 window=$3 dir="$1$2"
  local desktop="$dir/share/applications/io.github.fyldra3.Fyldra3.desktop"
  local icon exec
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  for f in "$dir"/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/"$icon.png"; do
    [[ -f "$f" ]] || fail "icon $f missing"
    size=${f#"$dir/share/icons/hicolor/"}; size=${size%%x*}
    file -b "$f" | grep -q "^PNG image data, $size x $size," || fail "$f is not a $size px PNG: $(file -b "$f")"
  done
  [[ -f "$dir/share/icons/hicolor/scalable/apps/$icon.svg" ]] || fail "scalable icon $icon.svg missing"
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  if [[ "$window" == 1 ]]; then
    [[ -x "$dir/bin/$exec" ]] || fail "Exec=$exec does not name an installed program"
  fi
  [[ -x "$dir/bin/fyldra3-scan" ]] || fail "fyldra3-scan is not executable"
  # The metainfo together with the desktop entry it launches.
  appstreamcli validate-tree --no-net --strict "$root" >"$scratch/tree.log" 2>&1 ||
    { cat "$scratch/tree.log"; fail "appstreamcli validate-tree"; }
  for page in fyldra3 fyldra3-scan; do
    gzip -t "$dir/share/man/man1/$page.1.gz" || fail "$page.1.gz is not gzip data"
  done
}
