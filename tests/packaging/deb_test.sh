#!/usr/bin/env bash
# Builds the Debian package with CPack into a scratch folder, checks its control data and contents
# with dpkg-deb, unpacks it (dpkg-deb -x, nothing is installed) and runs the unpacked fyldra3-scan;
# hardening-check on its programs and lintian on the package find nothing to report.
#   deb_test.sh BUILD_DIR VERSION WINDOW(0|1) FILE_LIST SAMPLE_DOC FORTIFY(0|1)
source "$(dirname "$0")/common.sh"
build=$1 version=$2 window=$3 list=$4 sample=$5 fortify=$6

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
# Debian's hardening in every program: hardening-check (devscripts) finds no
# "no", but for two checks no program built here can pass, whatever its flags:
# - Control flow integrity looks for the IBT/SHSTK property, which the linker
#   keeps only when every object has it; the C library's startup files
#   (Scrt1.o) lack it on Debian 12, so /usr/bin/ls fails it too. Accepted
#   only while they lack it, and the programs' own code must have its endbr64
#   landing pads (-fcf-protection), so the compiler's part is checked.
# - Fortify Source wants a call to at least one __*_chk function, and there is
#   none when no call has a destination whose size the compiler knows; it
#   says "only unprotected functions found" then. Accepted as that message
#   alone, and not asked for in a build without optimisation (FORTIFY 0).
crt_cet=0
readelf -n "$(c++ -print-file-name=Scrt1.o)" 2>/dev/null | grep -q 'x86 feature: IBT, SHSTK' && crt_cet=1
for program in "$bin"/*; do
  hardening-check "$program" >"$scratch/hardening" 2>&1 || true
  cat "$scratch/hardening"
  while read -r line; do
    case $line in
      "Control flow integrity: no, not found!") [[ $crt_cet == 0 ]] || fail "$program: $line" ;;
      "Fortify Source functions: no, only unprotected functions found!") ;;
      "Fortify Source functions: no"*) [[ $fortify == 0 ]] || fail "$program: $line" ;;
      *) fail "$program: $line" ;;
    esac
  done < <(grep ': no' "$scratch/hardening" || true)
  pads=$(objdump -d "$program" | grep -c endbr64 || true)
  (( pads >= 20 )) || fail "$program has $pads endbr64 landing pads: not built with -fcf-protection"
done
lintian --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 || { cat "$scratch/lintian"; fail "lintian"; }
if grep -E '^[EW]: ' "$scratch/lintian"; then fail "lintian reports errors or warnings"; fi
echo "built and checked $(basename "$deb")"
