#!/usr/bin/env bash
# The framers' objects define no weak or vague-linkage symbol: the linker
# keeps one copy of such a symbol from any object, and a copy built for AVX
# standing in for baseline code would fault on a processor without AVX.
# (DW.ref.__gxx_personality_v0, the unwinder's pointer that every C++ object
# carries, is data and the same everywhere.)
#   vector_symbols_test.sh NM LIBRARY
set -euo pipefail
nm=$1 library=$2
LC_ALL=C "$nm" --defined-only "$library" | awk '
  /\.o:$/ { member = $1; next }
  member !~ /^framers_(sse2|avx2|avx512)\.cpp\.o:$/ || NF != 3 { next }
  { seen[member] = 1 }
  $2 == "T" { kernels[member] = kernels[member] " " $3 }
  $2 ~ /^[WwVvui]$/ && $3 != "DW.ref.__gxx_personality_v0" { print "FAIL: " member " " $0; bad = 1 }
  END {
    for (m in seen) print m " defines" kernels[m]
    if (length(seen) != 3) { print "FAIL: expected the three framers objects, found " length(seen); bad = 1 }
    exit bad
  }'
