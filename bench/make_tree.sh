#!/usr/bin/env bash
# Makes COUNT small files under TREE (1000 to a folder): a quarter copies of
# the Word, RTF and other documents in tests/data, half short texts, a quarter
# small binaries of 512 to 4096 bytes. Writes their NUL-separated sorted list,
# relative to TREE, to LIST.
#   bench/make_tree.sh TREE COUNT LIST
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tree=$1 count=$2 list=$3
mkdir -p "$tree"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/fyldra3-tree.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

docs=("$here"/tests/data/*.doc "$here"/tests/data/*.rtf "$here"/tests/data/*.docx)
for i in 0 1 2 3 4 5 6 7; do
  head -c $((512 * (i + 1))) /dev/urandom >"$scratch/binary$i"
done
words=(archive letter invoice report draft minutes memo budget 議事録 報告書 見積書 請求書)
declare -a copies=() binaries=()
for ((n = 0; n < count; n++)); do
  folder="$tree/d$((n / 1000))"
  ((n % 1000 == 0)) && mkdir -p "$folder"
  case $((n % 4)) in
    0) copies+=("$folder/f$n.doc") ;;
    1) binaries+=("$folder/f$n.bin") ;;
    *) # a short text written by the shell itself
       w="${words[n % ${#words[@]}]}"
       printf -v pad '%*s' $((n % 700)) ''
       printf '%s %d\r\n%s\n%send\n' "$w" "$n" "$w $w $w" "$pad" >"$folder/f$n.txt" ;;
  esac
done
# One tee per source writes all of its copies.
for ((k = 0; k < ${#docs[@]}; k++)); do
  targets=()
  for ((m = k; m < ${#copies[@]}; m += ${#docs[@]})); do targets+=("${copies[m]}"); done
  ((${#targets[@]})) && tee "${targets[@]}" <"${docs[k]}" >/dev/null
done
for k in 0 1 2 3 4 5 6 7; do
  targets=()
  for ((m = k; m < ${#binaries[@]}; m += 8)); do targets+=("${binaries[m]}"); done
  ((${#targets[@]})) && tee "${targets[@]}" <"$scratch/binary$k" >/dev/null
done
(cd "$tree" && find . -type f -print0 | sort -z) >"$list"
