#!/usr/bin/env bash
# Runs every benchmark program pinned to one core; each prints its own
# "ratio <workload> <ours/peer>" lines last.
set -euo pipefail
bindir="$1"
pin=""
command -v taskset >/dev/null 2>&1 && pin="taskset -c 0"
found=0
for b in "$bindir"/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  $pin "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
done
[ "$found" = 1 ] || echo "no benchmarks built yet"
