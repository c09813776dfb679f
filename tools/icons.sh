#!/bin/sh
# Renders the application icon's PNG sizes from its SVG, for desktops that
# look up a fixed size. The PNGs are committed, so the build needs no renderer;
# run this again after changing the SVG. Needs ImageMagick (Debian's carries
# librsvg for SVG).
#   tools/icons.sh
set -eu
here=$(dirname "$0")/..
icons=$here/resources/icons
svg=$icons/org.carrowmere.Carrowmere.svg

for size in 16 24 32 48 64 128 256; do
    mkdir -p "$icons/${size}x$size"
    # Drawn at 1024 pixels (768 dpi for a 128-pixel SVG), then scaled down:
    # smoother small sizes than rasterizing at the size itself. -strip leaves
    # out the time stamps, so an unchanged SVG gives unchanged files.
    convert -background none -density 768 "$svg" -resize "${size}x$size" -depth 8 -strip \
        "PNG32:$icons/${size}x$size/org.carrowmere.Carrowmere.png"
done
