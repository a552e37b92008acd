#!/usr/bin/env bash
# Regenerates the pictures in assets/ (button pictures, splash, icon) with
# ImageMagick. The results are committed; the build only reads them.
set -euo pipefail
cd "$(dirname "$0")/../assets"

# Button pictures are drawn at three times their 56 x 56 logical size, in files named
# "name@3x.png" that Qt loads with that pixel ratio: the buttons shrink them smoothly to the
# screen's own pixels, so they stay sharp at 125, 150 and 200 %. The drawings keep the logical
# coordinates and are scaled as they are drawn.
x=3
scale="scale $x,$x"

# Round badge with a glyph drawn on top; $1 name, $2 inner colour, $3 outer colour, $4 MVG glyph.
badge() {
    convert -size $((56 * x))x$((56 * x)) xc:none \
        -draw "$scale fill '$3' circle 28,28 28,2" \
        -draw "$scale fill '$2' circle 28,27 28,5" \
        -draw "$scale $4" "$1@${x}x.png"
}

handset='fill white stroke white stroke-width 1 path "M 14,22 C 14,17 42,17 42,22 L 42,27 L 35,27 L 34,23 C 31,21.5 25,21.5 22,23 L 21,27 L 14,27 Z"'
badge call '#34c759' '#1c7a33' "translate 28,27 rotate 135 translate -28,-22 $handset"
badge end '#ff3b30' '#8e1c16' "$handset"
badge mute '#5a6b7d' '#2b3540' 'fill white stroke none roundrectangle 23,12 33,32 5,5 fill none stroke white stroke-width 3 path "M 18,26 C 18,38 38,38 38,26" line 28,36 28,42 line 22,43 34,43'
badge snapshot '#5a6b7d' '#2b3540' 'fill white stroke none roundrectangle 14,20 42,39 4,4 rectangle 22,16 32,21 fill "#2b3540" circle 28,29 28,23 fill white circle 28,29 28,26'
badge settings '#f0a030' '#9a5a00' 'fill white stroke none circle 28,26 28,14 fill "#c07810" circle 28,26 28,21 fill white rectangle 25,9 31,15 rectangle 25,37 31,43 rectangle 11,23 17,29 rectangle 39,23 45,29'
badge exit '#8a8a8a' '#3c3c3c' 'fill none stroke white stroke-width 4 stroke-linecap round arc 16,14 40,38 300,240 line 28,10 28,24'
convert -size $((20 * x))x$((16 * x)) xc:none -fill '#0080c0' -stroke '#0080c0' \
    -draw "$scale fill none stroke-width 2 arc 3,2 17,15 200,520" \
    -draw "$scale stroke none polygon 13,1 19,4 14,8" "refresh@${x}x.png"

# Splash shown in the big picture until the peer's first frame arrives.
convert -size 640x480 gradient:'#1b2735'-'#090a0f' \
    -fill '#ff8000' -font DejaVu-Sans-Bold -pointsize 64 -gravity center -annotate +0-30 'Vocalyn' \
    -fill '#0080c0' -font DejaVu-Sans -pointsize 20 -annotate +0+40 'Video intercom for your local network' \
    -quality 90 splash.jpg

convert -size 256x256 xc:none -fill '#ff8000' -draw 'roundrectangle 8,8 248,248 48,48' \
    -fill black -draw 'roundrectangle 28,28 228,228 36,36' \
    -draw "fill '#34c759' circle 128,128 128,56" \
    -draw "fill white stroke white path 'M 80,120 C 80,100 176,100 176,120 L 176,140 L 152,140 L 149,125 C 138,119 118,119 107,125 L 104,140 L 80,140 Z'" \
    vocalyn.png
