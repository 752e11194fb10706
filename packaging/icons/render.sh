#!/bin/sh
# Renders the PNG sizes of the icon from tessary.svg. The PNGs are committed, so a build needs
# no SVG renderer; run this (it needs rsvg-convert, package librsvg2-bin) after editing the SVG.
set -e
cd "$(dirname "$0")"
for size in 48 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "tessary-$size.png" tessary.svg
done
