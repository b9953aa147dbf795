#!/usr/bin/env bash
# BMP variants (1/4/8 bits, RLE4/RLE8, 16-bit masks, 24 and 32 bits) with
# their 24-bit references, from the npm package bmp-js@0.1.0 (folder test/).
set -euo pipefail
dest="$1/bmp-js"
[ -f "$dest/.done" ] && exit 0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack bmp-js@0.1.0 --silent >/dev/null)
tar -xzf "$work"/bmp-js-0.1.0.tgz -C "$work"
rm -rf "$dest"
mkdir -p "$dest"
cp "$work/package/test/"*.bmp "$dest/"
touch "$dest/.done"
