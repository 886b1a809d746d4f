#!/usr/bin/env bash
# Draws the three status icons as template images: black shapes on transparency, at 22 px and at
# 44 px for high-density panels. The panel tints them to its own text colour. Run by hand after
# changing a drawing; the PNGs are committed, so the build does not need ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
im=$(command -v convert-im6 || command -v convert)
S=88  # drawn at four times 22 px, then scaled down

# A storage drum: filled for "running".
drum_filled='-fill white -stroke none -draw "ellipse 44,18 32,11 0,360" -draw "rectangle 12,18 76,70" -draw "ellipse 44,70 32,11 0,360" -fill none -stroke black -strokewidth 6 -draw "ellipse 44,36 32,11 0,180" -draw "ellipse 44,53 32,11 0,180"'
# Outline only: "stopped".
drum_outline='-fill none -stroke white -strokewidth 7 -draw "ellipse 44,18 29,9 0,360" -draw "line 15,18 15,70" -draw "line 73,18 73,70" -draw "ellipse 44,70 29,9 0,180"'
# Filled drum with a badge cut out and an exclamation mark in it: "failed" or "unknown".
drum_error="$drum_filled"' -fill black -stroke none -draw "circle 66,64 66,34" -fill white -draw "circle 66,64 66,40" -fill black -draw "roundrectangle 62,48 70,68 3,3" -draw "circle 66,76 66,72"'

draw() {  # name, drawing
  eval "\"$im\" -size ${S}x${S} xc:black $2 mask.png"
  for px in 22 44; do
    suffix=$([ "$px" = 44 ] && echo "@2x" || true)
    "$im" mask.png -filter Lanczos -resize ${px}x${px} -alpha copy -channel RGB -evaluate set 0 +channel \
      -define png:color-type=6 "$1$suffix.png"
  done
  rm -f mask.png
}

draw StatusBarIcon "$drum_filled"
draw StatusBarIconStopped "$drum_outline"
draw StatusBarIconError "$drum_error"

# The application icon, for windows and the About panel: the filled drum, white on a blue tile.
eval "\"$im\" -size ${S}x${S} xc:black $drum_filled -resize 64x64 -background black -gravity center -extent 88x88 mask.png"
"$im" -size 128x128 xc:none -fill '#2f6fd6' -draw "roundrectangle 4,4 123,123 26,26" \
  \( -size 128x128 xc:white \( mask.png -resize 96x96 -background black -gravity center \
     -extent 128x128 \) -alpha off -compose copy_opacity -composite \) \
  -compose over -composite -define png:color-type=6 AppIcon.png
rm -f mask.png
