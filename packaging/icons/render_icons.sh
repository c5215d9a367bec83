#!/usr/bin/env bash
# Renders the program's icon (org.zarvex.Zarvex.svg) into the PNG sizes the
# icon theme wants. The PNGs are committed, so building needs no renderer;
# run this (it needs rsvg-convert, Debian's librsvg2-bin) after changing the
# drawing (zarvex.ico also needs ImageMagick's convert).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" org.zarvex.Zarvex.svg -o "hicolor/${size}x${size}/apps/org.zarvex.Zarvex.png"
done
# The Windows program's icon, from the same PNGs (ImageMagick).
convert hicolor/{16x16,24x24,32x32,48x48,64x64,256x256}/apps/org.zarvex.Zarvex.png zarvex.ico
