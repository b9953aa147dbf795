#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks and the
# fuzz targets need. Skips what is there already; says what is missing when
# it cannot install (not root, no apt).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config make
  qt6-base-dev libgl-dev
  libfreetype-dev libfontconfig-dev
  libjpeg62-turbo-dev libpng-dev libgif-dev zlib1g-dev libimagequant-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libcairo2-dev poppler-utils
  fonts-dejavu-core fonts-liberation2
  xz-utils binutils ca-certificates
  xvfb xauth
)
# npm fetches test data; a machine with its own Node.js already has it.
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: needs ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    SUDO=sudo
  else
    echo "install-deps: not root; install these Debian packages first:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
if ! command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: no apt-get here; install these packages by hand: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# A stale or empty package list makes installs fail, so refresh once first.
$SUDO apt-get update -q >/dev/null
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
