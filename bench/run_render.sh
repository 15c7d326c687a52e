#!/usr/bin/env bash
# A viewer frame of a 1,000,000-triangle mesh against a bare GL draw of the same buffer (headless); prints the ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BENCH_BIN:-build/release/bin}/bench_render
out=$(mktemp)
"$bin" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=console | tee "$out"
bare=$(awk '/BM_BareDraw.*_median/ {print $2}' "$out")
for kind in 0 1; do
  frame=$(awk -v k="BM_RenderFrame/$kind/" 'index($1, k) == 1 && /_median/ {print $2}' "$out")
  label=$([ "$kind" = 1 ] && echo "textured frame" || echo "frame")
  echo "${label} ${frame} ms, bare draw ${bare} ms, ratio $(awk -v a="$frame" -v b="$bare" 'BEGIN {printf "%.2f", a / b}')"
done
rm -f "$out"
