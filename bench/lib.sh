# Shared by the bench scripts: timing, spread and the cold page cache.
# Sourced, not run.

# Seconds the command takes, output to /dev/null.
seconds() {
  local t0 t1
  t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

# "best (min-max)" of the numbers given, as seconds or as ratios (--ratio).
spread() {
  local unit=s
  [[ $1 == --ratio ]] && { unit=x; shift; }
  printf '%s\n' "$@" | sort -g | awk -v u="$unit" '
    { v[NR] = $1 }
    END {
      if (NR == 0) { print "-"; exit }
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      if (u == "s") printf "%.3f s (%.3f-%.3f)", v[1], v[1], v[NR]
      else printf "%.2fx (%.2f-%.2f)", m, v[1], v[NR]
    }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0) ? a / b : 0 }'; }

# How cold runs are made: the whole page cache dropped when this may, else
# the data of the given files only (the kernel keeps their inodes).
cold_method() {
  if [[ $(id -u) -eq 0 && -w /proc/sys/vm/drop_caches ]]; then
    echo "cold: page cache, dentries and inodes dropped before each run (echo 3 > /proc/sys/vm/drop_caches)"
  else
    echo "cold: /proc/sys/vm/drop_caches is not writable here; each file's data evicted with posix_fadvise(POSIX_FADV_DONTNEED) instead (inodes stay cached)"
  fi
}

# make_cold EVICTOR LIST: LIST holds the files' paths, NUL-separated.
make_cold() {
  if [[ $(id -u) -eq 0 && -w /proc/sys/vm/drop_caches ]]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  else
    "$1" --evict "$2" >/dev/null
  fi
}

# need_built BUILD_DIR PROGRAM...: stops with a hint when a program the
# benchmark runs has not been built.
need_built() {
  local build=$1 tool
  shift
  for tool in "$@"; do
    [[ -x "$tool" ]] || { echo "missing $tool: build first (cmake --build $build)" >&2; exit 1; }
  done
}
