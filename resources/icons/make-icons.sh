#!/usr/bin/env bash
# Draws the application icon. Run by hand after changing the drawing; the PNG is committed. The
# status icons are drawn in status/*.svg and made by the build (cmake/OrvaneStatusIcons.cmake).
set -euo pipefail
cd "$(dirname "$0")"
im=$(command -v convert-im6 || command -v convert)
S=88  # drawn at four times 22 px, then scaled down

# A storage drum: filled for "running".
drum_filled='-fill white -stroke none -draw "ellipse 44,18 32,11 0,360" -draw "rectangle 12,18 76,70" -draw "ellipse 44,70 32,11 0,360" -fill none -stroke black -strokewidth 6 -draw "ellipse 44,36 32,11 0,180" -draw "ellipse 44,53 32,11 0,180"'
# The application icon, for windows and the About panel: the filled drum, white on a blue tile.
eval "\"$im\" -size ${S}x${S} xc:black $drum_filled -resize 64x64 -background black -gravity center -extent 88x88 mask.png"
"$im" -size 128x128 xc:none -fill '#2f6fd6' -draw "roundrectangle 4,4 123,123 26,26" \
  \( -size 128x128 xc:white \( mask.png -resize 96x96 -background black -gravity center \
     -extent 128x128 \) -alpha off -compose copy_opacity -composite \) \
  -compose over -composite -define png:color-type=6 AppIcon.png
rm -f mask.png
