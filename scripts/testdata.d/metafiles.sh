#!/usr/bin/env bash
# Enhanced metafiles that another program wrote: xfig's clip-art libraries
# (Debian's xfig-libs) converted by fig2dev's EMF driver. Beside each file a
# reference rendering, 256 pixels wide, made by Debian's emf2svg (EMF to
# SVG) and librsvg's rsvg-convert (SVG to PNG), for a comparison of where
# the ink lies. Packages are unpacked in a scratch folder, never installed.
set -euo pipefail
dest="$1/metafiles"
[ -f "$dest/.done" ] && exit 0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 777 "$work"
(cd "$work" && apt-get download fig2dev xfig-libs >/dev/null)
for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$work/x"; done
rm -rf "$dest"
mkdir -p "$dest/emf"
# Every 40th drawing of the libraries, so that each library is met.
find "$work/x/usr/share/xfig/Libraries" -name '*.fig' | LC_ALL=C sort | awk 'NR % 40 == 1' |
  while read -r fig; do
    name=$(echo "${fig#"$work/x/usr/share/xfig/Libraries/"}" | tr '/ ' '__')
    "$work/x/usr/bin/fig2dev" -L emf "$fig" "$dest/emf/${name%.fig}.emf" 2>/dev/null ||
      rm -f "$dest/emf/${name%.fig}.emf"
  done
# The reference renderer is optional: without it the files are still played.
if (cd "$work" && apt-get download emf2svg libemf2svg1 libuemf0 librsvg2-bin >/dev/null 2>&1); then
  for deb in "$work"/emf2svg_*.deb "$work"/libemf2svg1_*.deb "$work"/libuemf0_*.deb \
    "$work"/librsvg2-bin_*.deb; do
    dpkg-deb -x "$deb" "$work/r"
  done
  libs=$(find "$work/r" -name '*.so*' -printf '%h\n' | sort -u | tr '\n' ':')
  for emf in "$dest"/emf/*.emf; do
    LD_LIBRARY_PATH="$libs" "$work/r/usr/bin/emf2svg-conv" -i "$emf" -o "$work/t.svg" 2>/dev/null &&
      LD_LIBRARY_PATH="$libs" "$work/r/usr/bin/rsvg-convert" -w 256 -o "${emf%.emf}.png" \
        "$work/t.svg" 2>/dev/null || rm -f "${emf%.emf}.png"
  done
fi
touch "$dest/.done"
