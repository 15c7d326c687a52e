#!/usr/bin/env bash
# Catalogue loading against `wc -w` over the same 200 XLI files (100,000 models); prints the ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp)
build/release/bin/bench_catalogue --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=console | tee "$out"
load=$(awk '/BM_LoadCatalogue.*_median/ {print $2}' "$out")
wc=$(awk '/BM_WcWords.*_median/ {print $2}' "$out")
echo "catalogue load ${load} ms, wc -w ${wc} ms, ratio $(awk -v a="$load" -v b="$wc" 'BEGIN {printf "%.2f", a / b}')"
rm -f "$out"
