#!/usr/bin/env bash
# fyldra3-scan -z on 20,000 documents three ways: loose in folders, in one
# stored zip, in one deflated zip; each beside its floor, measured in the
# same round so that a noisy machine slows both alike:
#   zips:   unzip -p ARCHIVE > /dev/null   (reading every member out)
#   loose:  fyldra3-scan -r without -z (what -z costs on files that are no archives)
# Everything is in the page cache first. Prints, for each case, the median
# and the range (min-max) of RUNS rounds, and the median ratio.
#   bench/archives.sh [--runs N] [--count N] [--cpu0] [--busy] [BUILD_DIR]
#     --cpu0   everything under taskset -c 0
#     --busy   with `yes > /dev/null` running beside
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5 count=20000 build=build cpu0=0 busy=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --cpu0) cpu0=1; shift ;;
    --busy) busy=1; shift ;;
    *) build=$1; shift ;;
  esac
done
scan="$PWD/$build/scan/fyldra3-scan"
[[ -x "$scan" ]] || { echo "missing $scan: build first" >&2; exit 2; }
for tool in zip unzip; do
  command -v $tool >/dev/null || { echo "$tool is missing (./setup.sh --test installs it)" >&2; exit 2; }
done

tmp="$(mktemp -d "${TMPDIR:-/tmp}/fyldra3-archives.XXXXXX")"
yes_pid=
cleanup() { [[ -n "$yes_pid" ]] && kill "$yes_pid" 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT

# The documents: copies of those in tests/data, 1000 to a folder.
docs=(tests/data/*.doc tests/data/*.rtf tests/data/*.txt)
mkdir -p "$tmp/tree"
for ((k = 0; k < ${#docs[@]}; k++)); do
  targets=()
  for ((n = k; n < count; n += ${#docs[@]})); do
    folder="$tmp/tree/d$((n / 1000))"
    [[ -d "$folder" ]] || mkdir -p "$folder"
    targets+=("$folder/f$n.${docs[k]##*.}")
  done
  tee "${targets[@]}" <"${docs[k]}" >/dev/null
done
(cd "$tmp" && zip -q -r -0 stored.zip tree && zip -q -r -6 deflated.zip tree)
find "$tmp" -type f -print0 | xargs -0 cat >/dev/null  # into the page cache
printf 'documents: %d, %s MiB; stored.zip %s MiB, deflated.zip %s MiB\n' "$count" \
  "$(du -sm "$tmp/tree" | cut -f1)" "$(du -m "$tmp/stored.zip" | cut -f1)" "$(du -m "$tmp/deflated.zip" | cut -f1)"

wrap=()
((cpu0)) && wrap=(taskset -c 0)
if ((busy)); then
  yes >/dev/null &
  yes_pid=$!
fi

seconds() {  # wall time of one run, output to /dev/null
  local start end
  start=$(date +%s%N)
  "${wrap[@]}" "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }'
}
declare -A times=()
cases=(loose stored deflated)
for ((r = 0; r < runs; r++)); do
  times[loose_floor]+=" $(cd "$tmp" && seconds "$scan" -r tree)"
  times[loose_scan]+=" $(cd "$tmp" && seconds "$scan" -z -r tree)"
  for z in stored deflated; do
    times[${z}_floor]+=" $(seconds unzip -p "$tmp/$z.zip")"
    times[${z}_scan]+=" $(seconds "$scan" -z "$tmp/$z.zip")"
  done
done
[[ -n "$yes_pid" ]] && { kill "$yes_pid"; yes_pid=; }

stats() {  # median min max of the numbers given
  tr ' ' '\n' <<<"$*" | grep . | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f %.3f %.3f", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
echo "load: $(uptime | sed 's/.*load average: //'); runs: $runs; taskset -c 0: $cpu0; busy: $busy"
printf '%-9s %-22s %-22s %s\n' case "floor s (median, range)" "fyldra3 -z s (median, range)" "scan/floor"
for c in "${cases[@]}"; do
  read -r fm fmin fmax <<<"$(stats ${times[${c}_floor]})"
  read -r sm smin smax <<<"$(stats ${times[${c}_scan]})"
  printf '%-9s %6.3f (%.3f-%.3f)    %6.3f (%.3f-%.3f)      %.2f\n' "$c" "$fm" "$fmin" "$fmax" "$sm" "$smin" "$smax" \
    "$(awk -v s="$sm" -v f="$fm" 'BEGIN { print s / f }')"
done
