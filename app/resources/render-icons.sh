#!/bin/sh
# Renders the PNG sizes of the application icon from its SVG (needs
# rsvg-convert, Debian librsvg2-bin). The PNGs are kept in the repository so
# that a build needs no SVG renderer; run this after changing the SVG.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$here/talu-network-check.svg" \
    -o "$here/icons/talu-network-check-$size.png"
done
