#!/bin/sh
# Renders every icon source in svg/ to image/ at the size its <svg> declares.
# The PNGs are committed, so building needs no SVG renderer; rerun this after
# editing a source. Needs rsvg-convert (Debian package librsvg2-bin).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/svg"
find . -name '*.svg' | sort | while read -r src; do
  out="../image/${src#./}"
  out="${out%.svg}.png"
  mkdir -p "$(dirname "$out")"
  rsvg-convert --format=png --output="$out" "$src"
  echo "rendered ${out#../}"
done
