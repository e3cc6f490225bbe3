#!/usr/bin/env bash
# Many small files: fyldra3-scan beside its floor, the bare many-files
# reader (fyldra3_many_reader: N threads that only open each listed file,
# read it to the end and close it).
#
#   bench/many_files.sh [--count N] [--runs N] [--cold] [--dir DIR] [BUILD_DIR]
#
# Defaults: 20000 files (bench/make_tree.sh, about 160 MB), 3 runs, build/,
# the files in a new temporary folder (or in DIR), removed at the end.
# Cached: for 1 and 2 threads, and for the default number of jobs against
# as many reader threads, `fyldra3-scan -j N -0 -f LIST` and
# `fyldra3-scan -j N -r .` beside the reader with N threads, one after the
# other in each run. With --cold, each run also drops the cache before each
# command (see cold_method in bench/lib.sh) and times the reader with 1 to
# 64 threads, then `fyldra3-scan -r .` and `-f LIST` with default options
# against the fastest reader of that run. Printed: the best time and range
# over runs, and the median and range of the ratio within each run. Takes
# under a minute cached, two to three minutes with --cold.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh
count=20000 runs=3 build=build cold=0 dir=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --cold) cold=1; shift ;;
    --dir) dir=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
need_built "$build" "$build/bench/fyldra3_many_reader" "$build/scan/fyldra3-scan"
reader=$(cd "$build/bench" && pwd)/fyldra3_many_reader
scan=$(cd "$build/scan" && pwd)/fyldra3-scan

tmp=$(mktemp -d "${dir:-${TMPDIR:-/tmp}}/fyldra3-many.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
bench/make_tree.sh "$tmp/tree" "$count" "$tmp/list"
cd "$tmp/tree"
"$reader" -t 2 "$tmp/list" >/dev/null  # into the page cache
jobs=$(nproc)

echo "$(uptime)"
echo "$count files, $(du -sh . | cut -f1); $jobs processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $runs runs"
printf '%-30s %-26s %-26s %s\n' case "floor" "fyldra3-scan" "ratio, within a run"

# row NAME FLOOR-TIMES... -- SCAN-TIMES... (equal counts, run by run)
row() {
  local name=$1 fs=() ss=() rs=() i
  shift
  while [[ $1 != -- ]]; do fs+=("$1"); shift; done
  shift
  ss=("$@")
  for ((i = 0; i < ${#fs[@]}; i++)); do rs+=("$(ratio "${ss[i]}" "${fs[i]}")"); done
  printf '%-30s %-26s %-26s %s\n' "$name" "$(spread "${fs[@]}")" "$(spread "${ss[@]}")" "$(spread --ratio "${rs[@]}")"
}

for n in 1 2 default; do
  t=$n j=(-j "$n")
  [[ $n == default ]] && t=$jobs j=()
  declare -a floor=() list=() tree=()
  for ((i = 0; i < runs; i++)); do
    floor+=("$(seconds "$reader" -t "$t" "$tmp/list")")
    list+=("$(seconds "$scan" "${j[@]}" -0 -f "$tmp/list")")
    tree+=("$(seconds "$scan" "${j[@]}" -r .)")
  done
  label="-j $n"; [[ $n == default ]] && label="default jobs ($jobs)"
  row "cached -f, $label" "${floor[@]}" -- "${list[@]}"
  row "cached -r, $label" "${floor[@]}" -- "${tree[@]}"
done

if ((cold)); then
  cold_method
  declare -a best=() clist=() ctree=()
  declare -A by=()
  for ((i = 0; i < runs; i++)); do
    fastest=
    for t in 1 2 4 8 16 32 64; do
      make_cold "$reader" "$tmp/list"
      s=$(seconds "$reader" -t "$t" "$tmp/list")
      by[$t]="${by[$t]:-} $s"
      if [[ -z $fastest ]] || awk -v a="$s" -v b="$fastest" 'BEGIN { exit !(a < b) }'; then fastest=$s; fi
    done
    best+=("$fastest")
    make_cold "$reader" "$tmp/list"
    ctree+=("$(seconds "$scan" -r .)")
    make_cold "$reader" "$tmp/list"
    clist+=("$(seconds "$scan" -0 -f "$tmp/list")")
  done
  for t in 1 2 4 8 16 32 64; do
    read -r -a times <<<"${by[$t]}"
    printf '%-30s %-26s\n' "cold reader, $t threads" "$(spread "${times[@]}")"
  done
  row "cold -r, default options" "${best[@]}" -- "${ctree[@]}"
  row "cold -f, default options" "${best[@]}" -- "${clist[@]}"
  echo "cold floor: the fastest reader of each run"
fi
