#!/usr/bin/env bash
# Full-scan speed: the bare read loop, fyldra3-scan and grep -F on two files
# that are scanned to the end (random bytes, document-like content), each
# already in the page cache. Prints the best of several runs and the ratios.
#   bench/full_scan.sh [--mib N] [--runs N] [BUILD_DIR]   (default 1024 MiB, 5 runs, build)
set -euo pipefail
cd "$(dirname "$0")/.."
mib=1024 runs=5 build=build
while [[ $# -gt 0 ]]; do
  case "$1" in
    --mib) mib=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
for tool in "$build/bench/fyldra3_bench_input" "$build/bench/fyldra3_read_loop" "$build/scan/fyldra3-scan"; do
  [[ -x "$tool" ]] || { echo "missing $tool: build first (cmake --build $build)" >&2; exit 1; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/fyldra3-fullscan.XXXXXX")
trap 'rm -rf "$dir"' EXIT

# Best wall time of $runs runs, in seconds.
best() {
  local best_ns= start end
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    ((best_ns == 0 || end - start < best_ns)) && best_ns=$((end - start))
  done
  awk -v ns="$best_ns" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

peak_kib() {
  if command -v /usr/bin/time >/dev/null; then
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
  else
    echo "?"
  fi
}

printf '%-10s %10s %14s %10s %12s %12s %14s\n' file "read (s)" "fyldra3 (s)" "grep (s)" "fyldra3/read" "grep/read" "fyldra3 peak"
for kind in random document; do
  file="$dir/$kind.bin"
  "$build/bench/fyldra3_bench_input" "$kind" "$mib" "$file"
  cat "$file" >/dev/null
  read_s=$(best "$build/bench/fyldra3_read_loop" "$file")
  scan_s=$(best "$build/scan/fyldra3-scan" "$file")
  grep_s=$(best env LC_ALL=C grep -F -a -c -e "Microsoft Word 6.0" -e "Microsoft Word 8.0" \
    -e "Microsoft Word 9.0" -e "Microsoft Word for" "$file")
  peak=$(peak_kib "$build/scan/fyldra3-scan" "$file")
  awk -v k="$kind" -v r="$read_s" -v s="$scan_s" -v g="$grep_s" -v p="$peak" \
    'BEGIN { printf "%-10s %10.3f %14.3f %10.3f %12.2f %12.2f %11s KiB\n", k, r, s, g, s / r, g / r, p }'
  rm -f "$file"
done
