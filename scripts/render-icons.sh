#!/usr/bin/env bash
# Renders the program's icon (data/desktop/icons/kalvo.svg) to the PNG sizes the desktop and the
# program itself use; run after changing the SVG and commit the PNGs.
set -euo pipefail
cd "$(dirname "$0")/../data/desktop/icons"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" kalvo.svg -o "kalvo-$size.png"
done
echo "render-icons: wrote $(ls kalvo-*.png | tr '\n' ' ')"
