#!/usr/bin/env bash
# Makes corvane.ico, icon 128, from the drawn 32 x 32 and 16 x 16 images: two
# 16-colour bitmaps (4 bits per pixel, with the transparency mask), the format
# every Windows version reads; PNG images inside an icon only newer ones do.
# The drawings have fewer than 16 colours and on/off transparency, so the bitmaps
# hold them pixel for pixel. Run it after changing corvane-32.png or corvane-16.png.
# usage: make_icon.sh      (needs ImageMagick's convert and python3)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# ImageMagick writes an icon's images as bitmaps of the fewest bits their colours
# need; -colors 16 +dither keeps every image within 16 without changing a pixel.
convert "$here/corvane-32.png" "$here/corvane-16.png" +dither -colors 16 "ICO:$here/corvane.ico"
python3 "$here/check_icon.py" "$here/corvane.ico"
