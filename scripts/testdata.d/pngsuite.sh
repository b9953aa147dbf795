#!/usr/bin/env bash
# PNG test images: the PngSuite and the corrupt files that ship with Go's
# image/png tests, taken from Debian's golang-1.19-src package (extracted in a
# scratch folder, never installed). Only the test images are kept.
set -euo pipefail
dest="$1/pngsuite"
[ -f "$dest/.done" ] && exit 0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 777 "$work"
(cd "$work" && apt-get download golang-1.19-src >/dev/null)
dpkg-deb -x "$work"/golang-1.19-src_*.deb "$work/x"
src="$work/x/usr/share/go-1.19/src/image"
rm -rf "$dest"
mkdir -p "$dest/png" "$dest/image"
cp -r "$src/png/testdata/." "$dest/png/"
cp -r "$src/testdata/." "$dest/image/"
touch "$dest/.done"
