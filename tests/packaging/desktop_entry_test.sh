#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate without a remark and offers "Open with" for the
# document types the program tells apart.
#   desktop_entry_test.sh DESKTOP_FILE
source "$(dirname "$0")/common.sh"
desktop=$1

out=$(desktop-file-validate "$desktop" 2>&1) || { echo "$out"; fail "desktop-file-validate"; }
[[ -z "$out" ]] || { echo "$out"; fail "desktop-file-validate has remarks"; }

grep -qx 'Exec=fyldra3 %f' "$desktop" || fail "Exec must pass one file: $(grep '^Exec=' "$desktop")"
mime=$(sed -n 's/^MimeType=//p' "$desktop")
for type in application/msword application/rtf text/rtf text/plain; do
  [[ ";$mime" == *";$type;"* ]] || fail "MimeType lacks $type"
done
grep -q '^Name\[ja\]=' "$desktop" || fail "no Name[ja]"
for key in Comment 'Comment\[ja\]' GenericName 'GenericName\[ja\]'; do
  grep -Pq "^$key=.*[\\x{3040}-\\x{30FF}\\x{4E00}-\\x{9FFF}]" "$desktop" || fail "$key is not Japanese"
done
