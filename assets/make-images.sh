#!/usr/bin/env bash
# Draws the viewer's images with ImageMagick: the busy animation, the button
# icons, the tick of the counter boxes and the window icon. The colours are
# the window's own: the cyan of its buttons, the slate and green of the
# selectors. The images are kept in the repository; run this only to redraw
# them (needs `convert` from imagemagick).
set -euo pipefail
cd "$(dirname "$0")"

cyan='rgb(14,210,226)'
slate='rgb(44,61,77)'
green='rgb(26,188,156)'
blue='rgb(102,102,255)'
red='rgb(230,77,59)'

# Busy animation: twelve dots on a ring, a bright one running round with a
# fading tail, on the grey of the window. The busy label lies over the
# legend's 40-pixel heading and shows the picture as it is, 178 x 40, the
# width of the side column inside its margins; the ring is drawn to fit that
# height, so that it needs no column height of its own.
frames=()
for k in $(seq 0 11); do
    args=()
    for i in $(seq 0 11); do
        age=$(( (k - i + 12) % 12 ))
        alpha=$(awk -v a="$age" 'BEGIN { v = 1 - a / 9; if (v < 0.15) v = 0.15; printf "%.2f", v }')
        x=$(awk -v i="$i" 'BEGIN { printf "%.1f", 89 + 15 * sin(i * 3.14159265 / 6) }')
        y=$(awk -v i="$i" 'BEGIN { printf "%.1f", 20 - 15 * cos(i * 3.14159265 / 6) }')
        x2=$(awk -v x="$x" 'BEGIN { printf "%.1f", x + 3 }')
        args+=(-fill "rgba(14,210,226,$alpha)" -draw "circle $x,$y $x2,$y")
    done
    f=$(mktemp --suffix=.png)
    convert -size 178x40 xc:'rgb(239,239,239)' "${args[@]}" "$f"
    frames+=("$f")
done
convert -delay 8 -loop 0 -dispose background "${frames[@]}" load2.gif
rm -f "${frames[@]}"

# Refresh: an open ring with an arrow head, drawn large and scaled down for
# smooth edges.
convert -size 128x128 xc:none -fill none -stroke "$cyan" -strokewidth 14 \
    -draw "arc 20,20 108,108 -60,250" \
    -stroke none -fill "$cyan" -draw "polygon 74,2 112,30 70,48" \
    -resize 32x32 refresh-32.png

# Printer: slate body, white paper going in on top and coming out below.
convert -size 128x128 xc:none \
    -fill white -stroke "$slate" -strokewidth 6 -draw "rectangle 36,10 92,50" \
    -fill "$slate" -stroke none -draw "roundrectangle 10,44 118,96 10,10" \
    -fill "$cyan" -draw "circle 100,58 100,64" \
    -fill white -stroke "$slate" -strokewidth 6 -draw "rectangle 36,78 92,120" \
    -stroke "$slate" -strokewidth 5 -draw "line 46,92 82,92" -draw "line 46,106 74,106" \
    -resize 32x32 unnamed.png

# Tick of a checked counter box: 40 x 40, the indicator's size.
convert -size 160x160 xc:none -fill none -stroke "$green" -strokewidth 22 \
    -draw "polyline 26,84 64,122 136,38" -resize 40x40 checkmark.png

# Window icon: four curves on the slate of the fourth selector.
convert -size 128x128 xc:"$slate" -fill none -strokewidth 9 \
    -stroke "$green" -draw "polyline 8,100 36,72 60,84 88,40 120,52" \
    -stroke "$blue" -draw "polyline 8,60 40,44 68,56 96,24 120,20" \
    -stroke "$red" -draw "polyline 8,118 44,104 76,110 104,92 120,98" \
    -resize 32x32 -type TrueColor BMP3:icon.bmp
