#!/usr/bin/env bash
# Installs what is missing, builds Fyldra3 and starts it on the file given (if any).
#   ./run.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFYLDRA3_WINDOW=ON -DFYLDRA3_TESTS=OFF -DFYLDRA3_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
if [[ -x build/app/fyldra3 ]]; then
  exec build/app/fyldra3 "$@"
fi
exec build/scan/fyldra3-scan "${@:-tests/data/simple.doc}"
