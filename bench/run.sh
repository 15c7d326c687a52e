#!/usr/bin/env bash
# Runs the benchmarks of the release build (make bench).
set -euo pipefail
cd "$(dirname "$0")/.."
for script in bench/run_*.sh; do
  [ -f "$script" ] && bash "$script"
done
