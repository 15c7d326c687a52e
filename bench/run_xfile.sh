#!/usr/bin/env bash
# Our .x reader against Assimp on a 1,000,000-triangle file, text and binary; prints the speed ratios at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build/release/bin/bench_xfile "$@"
