#!/usr/bin/env bash
# Draws the application icon (assets/app.ico) with ImageMagick: a rounded violet tile with a
# white speaker and two sound waves, at 16, 24, 32, 48 and 256 pixels. Run it again after
# changing the drawing; the result is committed so builds need no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 256x256 xc:none \
  -fill '#6a3fd1' -draw 'roundrectangle 8,8 247,247 48,48' \
  -fill white -draw 'polygon 48,100 88,100 140,52 140,204 88,156 48,156' \
  -fill none -stroke white -strokewidth 16 \
  -draw 'ellipse 124,128 50,50 -45,45' -draw 'ellipse 124,128 92,92 -45,45' \
  "$tmp/icon-256.png"

for size in 16 24 32 48; do
  convert "$tmp/icon-256.png" -resize ${size}x${size} "$tmp/icon-$size.png"
done
convert "$tmp/icon-16.png" "$tmp/icon-24.png" "$tmp/icon-32.png" "$tmp/icon-48.png" "$tmp/icon-256.png" assets/app.ico
echo "wrote assets/app.ico"
