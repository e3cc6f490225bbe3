#!/usr/bin/env bash
# Builds the Debian package with CPack into a scratch folder, checks its control data and contents
# with dpkg-deb, unpacks it (dpkg-deb -x, nothing is installed) and runs the unpacked fyldra3-scan.
#   deb_test.sh BUILD_DIR VERSION WINDOW(0|1) FILE_LIST SAMPLE_DOC
source "$(dirname "$0")/common.sh"
build=$1 version=$2 window=$3 list=$4 sample=$5

# cpack first runs the build's "preinstall" step, a no-op on an up-to-date build such as ctest's.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack -G DEB"; }
arch=$(dpkg --print-architecture)
deb="$scratch/out/fyldra3_${version}_${arch}.deb"
[[ -f "$deb" ]] || { ls "$scratch/out"; fail "no $deb"; }

# Control data.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == fyldra3 ]] || fail "Package: $(field Package)"
[[ "$(field Version)" == "$version" ]] || fail "Version: $(field Version)"
[[ "$(field Architecture)" == "$arch" ]] || fail "Architecture: $(field Architecture)"
[[ -n "$(field Maintainer)" && -n "$(field Description)" ]] || fail "no Maintainer or Description"
depends=$(field Depends)
echo "Depends: $depends"
# libc6, libstdc++6 and libssl3 (the scanner's digests) come from dpkg-shlibdeps; the rest only with the window.
needed=(libc6 libstdc++6 libssl3)
[[ "$window" == 1 ]] && needed+=(libqt6widgets6 fonts-ipafont-gothic qt6-translations-l10n qt6-qpa-plugins)
names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for p in "${needed[@]}"; do
  grep -Fqx "$p" <<<"$names" || fail "Depends lacks $p"
done

# Contents: exactly the installed files under /usr, owned by root, with the usual modes.
dpkg-deb -c "$deb" >"$scratch/contents"
awk '$1 !~ /^d/ { print $6 }' "$scratch/contents" | sed 's|^\./usr/||' | sort >"$scratch/actual"
expected_files "$list" "$window" >"$scratch/expected"
diff -u "$scratch/expected" "$scratch/actual" || fail "package contents differ from $list (- expected, + packaged)"
awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' "$scratch/contents" || fail "files not owned by root"
awk '$1 !~ /^d/ && $1 != ($6 ~ /\/bin\// ? "-rwxr-xr-x" : "-rw-r--r--") { print; bad = 1 } END { exit bad }' \
  "$scratch/contents" || fail "unexpected file modes"

# Unpacked, the programs run from the tree; binaries are stripped and find all their libraries.
dpkg-deb -x "$deb" "$scratch/root"
check_tree "$scratch/root" /usr "$window"
bin="$scratch/root/usr/bin"
"$bin/fyldra3-scan" --help >"$scratch/help" || fail "unpacked fyldra3-scan --help failed"
grep -q '^使い方: fyldra3-scan' "$scratch/help" || fail "unexpected --help output: $(head -3 "$scratch/help")"
"$bin/fyldra3-scan" "$sample" >"$scratch/scan" || fail "unpacked fyldra3-scan $sample failed"
grep -q "^$sample: " "$scratch/scan" || fail "unexpected output: $(cat "$scratch/scan")"
for program in "$bin"/*; do
  file -b "$program" | grep -q ', stripped' || fail "$program is not stripped"
  if ldd "$program" | grep 'not found'; then fail "$program lacks libraries"; fi
done
echo "built and checked $(basename "$deb")"
