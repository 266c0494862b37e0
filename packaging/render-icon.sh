#!/usr/bin/env bash
# Draws the 256 px icon from the SVG (needs rsvg-convert: apt-get install
# librsvg2-bin). Run after changing kelvalog.svg and commit both files.
set -euo pipefail
cd "$(dirname "$0")"
rsvg-convert --width 256 --height 256 --format png --output kelvalog-256.png kelvalog.svg
