#!/usr/bin/env bash
# Draws the desktop icon of the viewer in the sizes of the hicolor theme:
# the curves of the window icon on a rounded tile in the slate of the fourth
# selector, under a faint grid. kestrova-viewer.svg in icons/hicolor/scalable
# is the same drawing as text, on the same 128-unit grid (the PNGs are drawn
# four times larger and scaled down). Needs `convert` from imagemagick.
set -euo pipefail
cd "$(dirname "$0")"

slate='rgb(44,61,77)'
green='rgb(26,188,156)'
blue='rgb(102,102,255)'
red='rgb(230,77,59)'
grid='rgba(255,255,255,0.18)'

# Points on the 128-unit grid, scaled by 4.
scaled() { awk '{ for (i = 1; i <= NF; i++) { split($i, p, ","); printf "%s%d,%d", (i > 1 ? " " : ""), p[1] * 4, p[2] * 4 } }' <<<"$1"; }

curve() {
    echo "stroke-linejoin round stroke-linecap round polyline $(scaled "$1")"
}

for size in 16 22 24 32 48 64 128 256; do
    dir="icons/hicolor/${size}x${size}/apps"
    mkdir -p "$dir"
    convert -size 512x512 xc:none \
        -fill "$slate" -draw "roundrectangle 16,16 496,496 72,72" \
        -fill none -stroke "$grid" -strokewidth 4 \
        -draw "line 144,64 144,448" -draw "line 256,64 256,448" -draw "line 368,64 368,448" \
        -draw "line 64,144 448,144" -draw "line 64,256 448,256" -draw "line 64,368 448,368" \
        -strokewidth 36 \
        -stroke "$green" -draw "$(curve '22,94 44,70 64,80 88,42 106,50')" \
        -stroke "$blue" -draw "$(curve '22,58 44,44 68,54 90,30 106,26')" \
        -stroke "$red" -draw "$(curve '22,106 46,96 72,102 94,86 106,90')" \
        -resize "${size}x${size}" -depth 8 -define png:exclude-chunks=date,time \
        "$dir/kestrova-viewer.png"
done
