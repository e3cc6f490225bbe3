#!/usr/bin/env bash
# Renders the hicolor PNGs from the SVG; run it after changing the SVG and commit the PNGs.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
id=io.github.fyldra3.Fyldra3
for size in 16 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$id.svg" -o "hicolor/${size}x${size}/apps/$id.png"
done
