#!/usr/bin/env bash
# Full-scan speed: fyldra3-scan beside its floor, the bare read loop
# (fyldra3_read_loop: 256 KiB reads to the end), on two files that are
# scanned to the end (random bytes, document-like content), 1 GiB each.
#
#   bench/full_scan.sh [--mib N] [--runs N] [--cold] [--dir DIR] [BUILD_DIR]
#
# Defaults: 1024 MiB, 5 runs, build/, inputs in a new temporary folder
# (or in DIR), removed at the end; one file exists at a time. For each file
# and each run the floor and fyldra3-scan run one after the other, in three
# conditions: idle (as the machine is), under `taskset -c 0` (one processor),
# and beside a busy process (`yes > /dev/null`). Printed for each case: the
# best time and the range over runs, and the median and range of the ratio
# of the two within each run. With --cold, also the file with nothing of it
# cached, against `dd bs=4M` (see cold_method in bench/lib.sh). Takes about
# a minute (two with --cold).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh
mib=1024 runs=5 build=build cold=0 dir=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --mib) mib=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --cold) cold=1; shift ;;
    --dir) dir=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
need_built "$build" "$build/bench/fyldra3_bench_input" "$build/bench/fyldra3_read_loop" "$build/bench/fyldra3_many_reader" "$build/scan/fyldra3-scan"
scan=$build/scan/fyldra3-scan read=$build/bench/fyldra3_read_loop evict=$build/bench/fyldra3_many_reader

tmp=$(mktemp -d "${dir:-${TMPDIR:-/tmp}}/fyldra3-fullscan.XXXXXX")
busy=
trap '[[ -n $busy ]] && kill $busy 2>/dev/null; rm -rf "$tmp"' EXIT

echo "$(uptime)"
echo "$(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $mib MiB files, $runs runs"
((cold)) && cold_method
peak=$( (command -v /usr/bin/time >/dev/null && echo yes) || echo no)
printf '%-9s %-13s %-26s %-26s %-22s %s\n' file condition "floor" "fyldra3-scan" "ratio, within a run" "peak memory"

# case NAME CONDITION FLOOR... -- SCAN...
measure() {
  local kind=$1 condition=$2 floor=() scanc=() f s fs=() ss=() rs=() i
  shift 2
  while [[ $1 != -- ]]; do floor+=("$1"); shift; done
  shift
  scanc=("$@")
  for ((i = 0; i < runs; i++)); do
    [[ $condition == cold ]] && make_cold "$evict" "$tmp/list"
    f=$(seconds "${floor[@]}")
    [[ $condition == cold ]] && make_cold "$evict" "$tmp/list"
    s=$(seconds "${scanc[@]}")
    fs+=("$f") ss+=("$s") rs+=("$(ratio "$s" "$f")")
  done
  local memory="-"
  [[ $peak == yes ]] && memory="$(/usr/bin/time -f %M "${scanc[@]}" 2>&1 >/dev/null | tail -n 1) KiB"
  printf '%-9s %-13s %-26s %-26s %-22s %s\n' "$kind" "$condition" "$(spread "${fs[@]}")" "$(spread "${ss[@]}")" \
    "$(spread --ratio "${rs[@]}")" "$memory"
}

for kind in random document; do
  file=$tmp/$kind.bin
  "$build/bench/fyldra3_bench_input" "$kind" "$mib" "$file"
  printf '%s\0' "$file" >"$tmp/list"
  cat "$file" >/dev/null
  measure "$kind" idle "$read" "$file" -- "$scan" "$file"
  measure "$kind" "taskset -c 0" taskset -c 0 "$read" "$file" -- taskset -c 0 "$scan" "$file"
  yes >/dev/null &
  busy=$!
  measure "$kind" "beside yes" "$read" "$file" -- "$scan" "$file"
  kill "$busy"; wait "$busy" 2>/dev/null || true; busy=
  if ((cold)); then
    measure "$kind" cold dd if="$file" of=/dev/null bs=4M -- "$scan" "$file"
  fi
  rm -f "$file"
done
echo "floor: fyldra3_read_loop (cached), dd bs=4M (cold)"
