#!/usr/bin/env bash
# Draws the skin pictures in assets/skin/ with ImageMagick 6:
#   caption-*.png    white caption-button glyphs (minimise, maximise, restore, close, menu, help)
#                    with a soft dark shadow on a transparent background;
#   check-*.png      13x13 check box, empty (dark frame, light gradient) and ticked (blue frame,
#                    teal tick);
#   arrow-*.png      tiny black triangles (7x4 up/down, 4x7 left/right) on transparent;
#   editor-background.jpg  321x186 dialog background: deep teal caption band over a light,
#                    softly decorated client area.
# Run it again after changing a drawing; the results are committed so builds need no
# ImageMagick. The output is byte-identical from run to run (no dates, fixed JPEG quality).
set -euo pipefail
cd "$(dirname "$0")/.."
out=assets/skin
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Writes a PNG as 8-bit RGBA without any time stamps or other metadata.
png() {
  local dst=$1
  shift
  convert "$@" -strip -depth 8 -define png:exclude-chunks=date,time "PNG32:$out/$dst"
  echo "wrote $out/$dst"
}

# glyph NAME WIDTH HEIGHT DRAW-ARGS...: white glyph drawn by DRAW-ARGS on a transparent canvas,
# over a black copy of itself moved 1px down and right, blurred and at 35% opacity. The blur's
# faintest fringe is cut back to fully transparent.
glyph() {
  local name=$1 w=$2 h=$3
  shift 3
  convert -size "${w}x${h}" xc:none -fill white -stroke none "$@" "$tmp/glyph.png"
  convert "$tmp/glyph.png" -fill black -colorize 100 -roll +1+1 \
    -channel A -evaluate multiply 0.35 +channel \
    -channel RGBA -blur 1x0.6 +channel -channel A -level 4%,100% +channel "$tmp/shadow.png"
  png "$name" "$tmp/shadow.png" "$tmp/glyph.png" -compose over -composite
}

# Caption buttons are 26x18 (close is 38x18); the glyphs sit around the centre (12.5, 8.5).
glyph caption-minimise.png 26 18 +antialias -draw 'rectangle 8,11 17,12'

glyph caption-maximise.png 26 18 +antialias \
  -draw 'rectangle 8,5 17,6' -draw 'rectangle 8,7 8,12' -draw 'rectangle 17,7 17,12' \
  -draw 'rectangle 9,12 16,12'

# Back window (only the parts outside the front one, with a clear row between the two top
# edges), then the front window.
glyph caption-restore.png 26 18 +antialias \
  -draw 'rectangle 10,4 17,5' -draw 'point 10,6' -draw 'rectangle 17,6 17,10' -draw 'point 16,10' \
  -draw 'rectangle 8,7 15,8' -draw 'rectangle 8,9 8,13' -draw 'rectangle 15,9 15,13' \
  -draw 'rectangle 9,13 14,13'

glyph caption-close.png 38 18 -fill none -stroke white -strokewidth 1.6 \
  -draw 'line 15,5 22,12' -draw 'line 22,5 15,12'

# A page with a folded top-right corner and two lines of "text".
glyph caption-menu.png 26 18 +antialias \
  -draw 'rectangle 9,4 13,4' -draw 'rectangle 9,5 9,13' -draw 'rectangle 10,13 16,13' \
  -draw 'rectangle 16,8 16,12' -draw 'rectangle 13,5 13,7' -draw 'rectangle 14,7 15,7' \
  -draw 'point 14,5' -draw 'point 15,6' \
  -draw 'rectangle 11,9 14,9' -draw 'rectangle 11,11 14,11'

# A smooth ring with a pixel-drawn question mark inside.
glyph caption-help.png 26 18 -fill none -stroke white -strokewidth 1 \
  -draw 'circle 12.5,8.5 12.5,2' \
  +antialias -stroke none -fill white \
  -draw 'rectangle 11,5 14,5' -draw 'rectangle 10,6 11,6' -draw 'rectangle 14,6 15,7' \
  -draw 'rectangle 13,8 14,8' -draw 'rectangle 12,9 13,10' -draw 'rectangle 12,12 13,13'

# Check boxes: a one-pixel frame with softened corners around an 11x11 gradient. The ticked one
# repeats the interior, so it also looks right when drawn on its own.
convert -size 11x11 gradient:'#dcdcdc-#ffffff' "$tmp/interior.png"
checkbox() {
  local name=$1 frame=$2
  shift 2
  png "$name" -size 13x13 xc:"$frame" "$tmp/interior.png" -geometry +1+1 -composite \
    -alpha set +antialias -fill "${frame}8c" \
    -draw 'color 0,0 point' -draw 'color 12,0 point' -draw 'color 0,12 point' -draw 'color 12,12 point' \
    "$@"
}
checkbox check-empty.png '#1c1c1c'
# The tick: seven columns, each three pixels tall.
checkbox check-ticked.png '#1e5aa8' -fill '#008080' \
  -draw 'rectangle 3,5 3,7' -draw 'rectangle 4,6 4,8' -draw 'rectangle 5,7 5,9' \
  -draw 'rectangle 6,6 6,8' -draw 'rectangle 7,5 7,7' -draw 'rectangle 8,4 8,6' \
  -draw 'rectangle 9,3 9,5'

# Arrows, pixel by pixel.
arrow() {
  local name=$1 size=$2
  shift 2
  png "$name" -size "$size" xc:none +antialias -fill black -stroke none "$@"
}
arrow arrow-down.png 7x4 \
  -draw 'rectangle 0,0 6,0' -draw 'rectangle 1,1 5,1' -draw 'rectangle 2,2 4,2' -draw 'point 3,3'
arrow arrow-up.png 7x4 \
  -draw 'point 3,0' -draw 'rectangle 2,1 4,1' -draw 'rectangle 1,2 5,2' -draw 'rectangle 0,3 6,3'
arrow arrow-left.png 4x7 \
  -draw 'point 0,3' -draw 'rectangle 1,2 1,4' -draw 'rectangle 2,1 2,5' -draw 'rectangle 3,0 3,6'
arrow arrow-right.png 4x7 \
  -draw 'rectangle 0,0 0,6' -draw 'rectangle 1,1 1,5' -draw 'rectangle 2,2 2,4' -draw 'point 3,3'

# Editor background: a 25px deep teal caption band, a short soft shadow below it, then a light
# client area with a gentle gradient and two faint overlapping discs, one edged by a thin ring,
# reaching in from the bottom-right corner.
convert \
  -size 321x25 gradient:'#2a8fb0-#1f6f8b' \
  -size 321x5 gradient:'#c9e2ea-#f7fbfc' \
  -size 321x156 gradient:'#f7fbfc-#e8f4f8' \
  -append \
  -fill 'rgba(42,143,176,0.07)' -stroke none -draw 'circle 372,232 372,92' \
  -fill 'rgba(42,143,176,0.06)' -draw 'circle 352,246 352,146' \
  -fill none -stroke 'rgba(31,111,139,0.12)' -strokewidth 1.5 -draw 'circle 372,232 372,88' \
  -strip -alpha off -type TrueColor -sampling-factor 1x1 -interlace none -quality 90 \
  "$out/editor-background.jpg"
echo "wrote $out/editor-background.jpg"
