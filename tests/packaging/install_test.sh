#!/usr/bin/env bash
# cmake --install into a scratch prefix puts exactly the expected files there, and they fit together.
#   install_test.sh BUILD_DIR WINDOW(0|1) FILE_LIST
source "$(dirname "$0")/common.sh"
build=$1 window=$2 list=$3

prefix="$scratch/root/usr"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "cmake --install"; }

expected_files "$list" "$window" >"$scratch/expected"
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$scratch/actual"
diff -u "$scratch/expected" "$scratch/actual" || fail "installed files differ from $list (- expected, + installed)"

check_tree "$scratch/root" /usr "$window"
"$prefix/bin/fyldra3-scan" --help >/dev/null || fail "installed fyldra3-scan --help"
echo "installed $(wc -l <"$scratch/actual") files"
# What a file manager's "Open with" reads: the MIME cache built from the installed entries.
[[ "$window" == 1 ]] || exit 0
update-desktop-database "$prefix/share/applications" || fail "update-desktop-database"
for type in application/msword application/rtf text/rtf text/plain; do
  grep -Eq "^$type=(.*;)?io\.github\.fyldra3\.Fyldra3\.desktop;" "$prefix/share/applications/mimeinfo.cache" ||
    fail "mimeinfo.cache does not offer the program for $type"
done
