#!/usr/bin/env bash
# Regenerates res/setup.ico: a shield with a key, 48/32/24/16 px, each at 8 and 32 bpp.
# The build uses the committed icon; run this only to change it (needs imagemagick, icoutils).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/res/setup.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Drawn large and scaled down, so the small sizes are antialiased rather than jagged.
convert -size 256x256 xc:none \
  -fill '#1f5596' -stroke '#0d2b55' -strokewidth 12 \
  -draw "path 'M 128,14 L 226,46 L 226,118 C 226,178 186,222 128,244 C 70,222 30,178 30,118 L 30,46 Z'" \
  -fill none -stroke '#f4c542' -strokewidth 22 -draw "circle 128,86 128,116" \
  -stroke none -fill '#f4c542' \
  -draw "rectangle 116,112 140,208" \
  -draw "rectangle 140,164 168,180" \
  -draw "rectangle 140,190 160,206" \
  -strip "$work/master.png"

args=()
for size in 48 32 24 16; do
  convert "$work/master.png" -filter Lanczos -resize "${size}x${size}" -strip "png32:$work/$size-32.png"
  # 8 bpp images carry transparency in the AND mask only, so the palette is for opaque pixels.
  convert "$work/$size-32.png" -channel A -threshold 50% +channel \
    -background '#0d2b55' -alpha background -dither None -colors 255 -strip "png32:$work/$size-8.png"
  args+=(-b 8 "$work/$size-8.png")
done
for size in 48 32 24 16; do
  args+=(-b 32 "$work/$size-32.png")
done

icotool -c -o "$out" "${args[@]}"
icotool -l "$out"
