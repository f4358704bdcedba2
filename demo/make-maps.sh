#!/usr/bin/env bash
# Cuts the demo host's map images from Debian's equirectangular earth image (xplanet-images).
# The image is 2048 x 1024 pixels for 360 x 180 degrees, so one pixel is 0.17578125 degrees;
# every cut starts and ends on a multiple of 16 pixels (2.8125 degrees = 2 deg 48.75 min), so
# its corners are exact in the hundredths of a minute that a map definition holds.
# Needs ImageMagick; the results are committed, so the build does not run this.
set -euo pipefail
src=/usr/share/xplanet/images/earth.jpg
out="$(dirname "$0")/drive_c/Stelmar/Maps"
cut() { # x0 y0 width height scale output [options]; an output may carry a format prefix (BMP3:)
  local name=$6 prefix=""
  if [[ $name == *:* ]]; then prefix=${name%%:*}:; name=${name#*:}; fi
  convert "$src" -crop "$3x$4+$1+$2" +repage -filter Lanczos -resize "$5%" "${@:7}" "$prefix$out/$name"
}
cut 960 160 96 80 500 britain.gif -colors 256
cut 1024 208 96 64 400 BMP3:alps.bmp -type TrueColor
cut 1152 256 80 112 500 nile.jpg -quality 88
cut 1664 560 224 208 300 australia.jpg -quality 88
convert "$src" -quality 85 "$out/world.jpg"
