#!/bin/sh
# Draws the application icon at 16 to 256 pixels with ImageMagick:
# a blue tile holding a 3x3 grid of bytes, the middle one patched (amber).
# Run from anywhere; writes bytemender-<size>.png beside this script.
set -eu
cd "$(dirname "$0")"
IM=convert
command -v magick >/dev/null 2>&1 && IM=magick

for size in 16 32 48 64 128 256; do
    # Margin, cell size and gap chosen per size so that every edge lands on a
    # whole pixel.
    case $size in
    16) pad=1 radius=3 inset=3 cell=2 gap=2 ;;
    32) pad=1 radius=6 inset=5 cell=6 gap=2 ;;
    48) pad=2 radius=9 inset=9 cell=8 gap=3 ;;
    64) pad=2 radius=12 inset=10 cell=12 gap=4 ;;
    128) pad=4 radius=24 inset=20 cell=24 gap=8 ;;
    256) pad=8 radius=48 inset=40 cell=48 gap=16 ;;
    esac
    last=$((size - 1 - pad))
    draw="fill #2b5797 stroke #1d3d6b roundrectangle $pad,$pad $last,$last $radius,$radius"
    for row in 0 1 2; do
        for col in 0 1 2; do
            x=$((inset + col * (cell + gap)))
            y=$((inset + row * (cell + gap)))
            colour="#ffffff"
            [ "$row$col" = 11 ] && colour="#f2a71b"
            draw="$draw fill $colour stroke none rectangle $x,$y $((x + cell - 1)),$((y + cell - 1))"
        done
    done
    $IM -size "${size}x${size}" xc:none -draw "$draw" \
        -depth 8 -define png:exclude-chunks=date,time -strip "bytemender-$size.png"
done
