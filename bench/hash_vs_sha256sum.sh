#!/usr/bin/env bash
# fyldra3-scan --hash sha256 beside sha256sum on the same cached file, with
# the bare read loop (the floor) and fyldra3-scan without --hash, interleaved
# run by run so that load on the machine falls on all alike. Prints each
# command's best, median and worst wall time and the ratios of the medians.
#   bench/hash_vs_sha256sum.sh [--mib N] [--runs N] [--kind random|document]
#                              [--compare OTHER_FYLDRA3_SCAN] [BUILD_DIR]
#   (default 1024 MiB, 7 runs, document-like content, build); --compare adds
#   another build's fyldra3-scan without --hash, to see that nothing got slower.
set -euo pipefail
cd "$(dirname "$0")/.."
mib=1024 runs=7 kind=document build=build compare=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --mib) mib=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --kind) kind=$2; shift 2 ;;
    --compare) compare=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
need_built "$build" "$build/bench/fyldra3_bench_input" "$build/bench/fyldra3_read_loop" "$build/scan/fyldra3-scan"

dir=$(mktemp -d "${TMPDIR:-/tmp}/fyldra3-hash.XXXXXX")
trap 'rm -rf "$dir"' EXIT
file="$dir/$kind.bin"
"$build/bench/fyldra3_bench_input" "$kind" "$mib" "$file"
cat "$file" >/dev/null

names=(read sha256sum "fyldra3 --hash sha256" "fyldra3")
commands=("$build/bench/fyldra3_read_loop $file" "sha256sum $file"
          "$build/scan/fyldra3-scan --hash sha256 $file" "$build/scan/fyldra3-scan $file")
if [[ -n "$compare" ]]; then
  names+=("other fyldra3")
  commands+=("$compare $file")
fi
declare -A times
for ((r = 0; r < runs; r++)); do
  for i in "${!commands[@]}"; do
    start=$(date +%s%N)
    ${commands[$i]} >/dev/null
    end=$(date +%s%N)
    times[$i]+="$((end - start)) "
  done
done
# The digests must agree, or the timing means nothing.
want=$(sha256sum "$file" | cut -d' ' -f1)
got=$("$build/scan/fyldra3-scan" --hash sha256 "$file" | cut -d' ' -f1)
[[ "$want" == "$got" ]] || { echo "digests differ: $want $got" >&2; exit 1; }

echo "$mib MiB $kind, $runs runs, load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-24s %9s %9s %9s\n' command "best (s)" "median" "worst"
[[ -n "$compare" ]] && echo "other fyldra3: $compare"
declare -a medians
for i in "${!commands[@]}"; do
  read -r best median worst < <(tr ' ' '\n' <<<"${times[$i]}" | grep . | sort -n |
    awk '{ t[NR] = $1 } END { printf "%.3f %.3f %.3f\n", t[1] / 1e9, t[int((NR + 1) / 2)] / 1e9, t[NR] / 1e9 }')
  medians[$i]=$median
  printf '%-24s %9s %9s %9s\n' "${names[$i]}" "$best" "$median" "$worst"
done
awk -v h="${medians[2]}" -v s="${medians[1]}" -v p="${medians[3]}" -v r="${medians[0]}" -v o="${medians[4]:-0}" 'BEGIN {
  printf "fyldra3 --hash sha256 / sha256sum: %.2fx   fyldra3 / read: %.2fx   sha256sum / read: %.2fx\n", h / s, p / r, s / r
  if (o > 0) printf "fyldra3 / other fyldra3: %.2fx\n", p / o }'
