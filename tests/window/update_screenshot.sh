#!/usr/bin/env bash
# Refreshes docs/screenshot.png with the window the end-to-end test just
# photographed (fyldra3 on tests/data/simple.doc under Xvfb, with its report).
#   tests/window/update_screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
./setup.sh --test
cmake -S . -B "$build" -DFYLDRA3_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target fyldra3 x11_window
ctest --test-dir "$build" -R '^window_e2e_test$' --output-on-failure
mkdir -p docs
cp "$build/tests/window/e2e/screenshot.png" docs/screenshot.png
echo "docs/screenshot.png updated"
