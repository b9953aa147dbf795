#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for the given seconds, all at
# once at low priority, each on a scratch copy of its corpus, and prints how
# many inputs each ran and whether it found anything.
#   bash scripts/fuzz-all.sh [SECONDS] [BUILD_DIR]
set -uo pipefail
secs="${1:-600}"
bin="${2:-build/fuzz}/bin"
cd "$(dirname "$0")/.."
work=$(mktemp -d)
pids=()
for f in "$bin"/fuzz_*; do
  name=$(basename "$f" | sed 's/^fuzz_//')
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  cp -r "fuzz/corpus/$name/." "$work/$name/corpus/" 2>/dev/null
  nice -n 19 "$f" "$work/$name/corpus" -max_total_time="$secs" -timeout=10 \
    -artifact_prefix="$work/$name/artifacts/" -print_final_stats=1 \
    > "$work/$name/log" 2>&1 &
  pids+=($!)
done
failed=0
for p in "${pids[@]}"; do wait "$p" || failed=1; done
for d in "$work"/*/; do
  name=$(basename "$d")
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$d/log" | grep -o '[0-9]*$')
  found=$(ls "$d/artifacts" | head -n 3 | tr '\n' ' ')
  echo "$name: ${runs:-?} runs${found:+, found: $found}"
done
echo "logs and findings: $work"
exit $failed
