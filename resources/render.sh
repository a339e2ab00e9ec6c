#!/bin/sh
# Renders the SVG drawings to the PNG files compiled into the program.
# Run it after editing an SVG and commit the PNGs with it.
set -eu
cd "$(dirname "$0")"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render.sh: rsvg-convert not found (Debian package librsvg2-bin)" >&2
    exit 1
fi

# The illustrations are drawn at the size the window shows them, so they are not rescaled.
rsvg-convert --width 520 --height 170 cyc_zh.svg --output cyc_zh.png
rsvg-convert --width 520 --height 170 cyc_en.svg --output cyc_en.png
rsvg-convert --width 256 --height 256 icon.svg --output icon.png
