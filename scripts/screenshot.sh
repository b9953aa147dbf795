#!/usr/bin/env bash
# A picture of the designer's main window as a user sees it, taken on a
# virtual X display (xvfb-run; it needs the xauth package).
#   scripts/screenshot.sh OUT.png [FILE.fbt|FILE.fbd|--demo] [extra]
# --demo opens a small template made from data/demo (a two-sided tag of
# geometric shapes). Runs the release build (make build-release first). Settings and folders
# live in a scratch folder, so nothing of the user's is touched; one
# template in its templates folder keeps the first-run question away, and
# the terms count as accepted.
set -euo pipefail
out="${1:?usage: screenshot.sh OUT.png [FILE] [extra]}"
shift
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${TALLISYN_BIN:-$root/build/release/bin/tallisyn}"
cli="$(dirname "$bin")/tallisyn-cli"
[ -x "$bin" ] || { echo "screenshot: no $bin (run make build-release)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshot: xvfb-run missing (make deps)" >&2; exit 1; }
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home/templates" "$scratch/config/Orvane"
: > "$scratch/home/templates/placeholder.fbt"
printf '[General]\nAcceptTermsAndConditions=1\n' > "$scratch/config/Orvane/Tallisyn2.conf"

args=()
for a in "$@"; do
  case "$a" in
    extra) args+=("$a") ;;
    --demo)
      side="$scratch/demo.stor"
      "$cli" archive put "$side" Index.xml "$root/data/demo/Index.xml"
      "$cli" archive put "$side" Page0001.xml "$root/data/demo/Page0001.xml"
      "$cli" sides join "$side" "$side" "$scratch/home/templates/Demo_Tag.fbt"
      args+=("$scratch/home/templates/Demo_Tag.fbt") ;;
    *) args+=("$(readlink -f "$a")") ;;
  esac
done

XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" TALLISYN_HOME="$scratch/home" \
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1200x820x24" \
  "$bin" --screenshot "$out" "${args[@]}"
echo "screenshot: $out"
