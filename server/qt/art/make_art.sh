#!/usr/bin/env bash
# Makes the splash picture and the new-client animation from the program icon (ImageMagick).
# Their outputs are committed; run this again after changing the art.
set -euo pipefail
cd "$(dirname "$0")/.."
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

convert -background none -density 300 icons/ravendockd.svg -resize 120x120 "$TMP/icon.png"
convert -size 420x240 gradient:'#2d6cc4'-'#0f2547' \
    "$TMP/icon.png" -geometry +24+60 -composite \
    -fill white -font DejaVu-Sans-Bold -pointsize 40 -annotate +160+110 'Ravendock' \
    -fill '#ffd34d' -font DejaVu-Sans -pointsize 17 -annotate +162+140 'TFTP Server' \
    -fill '#dfe8f5' -pointsize 14 -annotate +162+166 'Version 3.6.0' \
    -fill '#9fb4d3' -pointsize 11 -annotate +24+224 'Starting ... press a key or click to continue' \
    -stroke '#ffd34d' -strokewidth 2 -fill none -draw 'rectangle 1,1 418,238' \
    images/splash.png

# A packet travelling from the server (left) to the new client (right), looping.
frames=()
for i in $(seq 0 11); do
    x=$((22 + i * 5))
    convert -size 120x48 xc:'#ff00ff' \
        -fill '#1b3f7a' -draw 'roundrectangle 4,10 20,38 3,3' \
        -fill '#6b7b8c' -draw 'roundrectangle 100,10 116,38 3,3' \
        -fill '#9fd0ff' -draw 'rectangle 7,14 17,22' -draw 'rectangle 103,14 113,22' \
        -stroke white -strokewidth 1 -draw 'line 22,24 98,24' -stroke none \
        -fill '#ffd34d' -draw "roundrectangle $x,18 $((x + 14)),30 2,2" \
        -fill '#1b3f7a' -draw "polygon $x,18 $((x + 7)),25 $((x + 14)),18" \
        "$TMP/f$i.gif"
    frames+=("$TMP/f$i.gif")
done
convert -delay 8 -loop 0 "${frames[@]}" images/alert.gif
