#!/usr/bin/env bash
# Installs what is missing, builds Fyldra3 with its tests and runs them all, headless.
#   ./test.sh             the normal build, in build/
#   ./test.sh --sanitize  under AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh --test

dir=build options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DFYLDRA3_WINDOW=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
  dir=build-sanitize options=(-DCMAKE_BUILD_TYPE=Debug -DFYLDRA3_SANITIZE=ON -DFYLDRA3_WINDOW=ON -DFYLDRA3_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$dir" -DFYLDRA3_TESTS=ON -DFYLDRA3_WERROR=ON "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
