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

# check_tree ROOT PREFIX WINDOW: what is installed under ROOT/PREFIX is complete and consistent.
check_tree() {
  local root=$1 prefix=$2 window=$3 dir="$1$2"
  [[ -x "$dir/bin/fyldra3-scan" ]] || fail "fyldra3-scan is not executable"
  for f in "$dir"/share/man/man1/*.gz "$dir"/share/doc/fyldra3/changelog.gz; do
    gzip -t "$f" || fail "$f is not gzip data"
  done
  [[ "$window" == 1 ]] || return 0

  local desktop="$dir/share/applications/io.github.fyldra3.Fyldra3.desktop"
  local icon exec size
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  for f in "$dir"/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/"$icon.png"; do
    [[ -f "$f" ]] || fail "icon $f missing"
    size=${f#"$dir/share/icons/hicolor/"}; size=${size%%x*}
    file -b "$f" | grep -q "^PNG image data, $size x $size," || fail "$f is not a $size px PNG: $(file -b "$f")"
  done
  [[ -f "$dir/share/icons/hicolor/scalable/apps/$icon.svg" ]] || fail "scalable icon $icon.svg missing"
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [[ -x "$dir/bin/$exec" ]] || fail "Exec=$exec does not name an installed program"
  # The metainfo together with the desktop entry it launches.
  appstreamcli validate-tree --no-net --strict "$root" >"$scratch/tree.log" 2>&1 ||
    { cat "$scratch/tree.log"; fail "appstreamcli validate-tree"; }
}
