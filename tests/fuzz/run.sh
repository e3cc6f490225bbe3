#!/usr/bin/env bash
# Builds the classifier fuzz target with clang and libFuzzer and runs it.
#   tests/fuzz/run.sh [SECONDS]   (default 600)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-600}
CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFYLDRA3_FUZZ=ON \
  -DFYLDRA3_WINDOW=OFF -DFYLDRA3_BENCH=OFF -DFYLDRA3_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target classifier_fuzz
work=build-fuzz/corpus
mkdir -p "$work"
build-fuzz/tests/fuzz/classifier_fuzz -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
  -timeout=10 -rss_limit_mb=2048 -dict=tests/fuzz/signatures.dict "$work" tests/fuzz/corpus
