#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for SECONDS (default 60) each, seeded by fuzz/corpus/<target>/.
# New inputs go to a scratch corpus in build/fuzz/corpus so the checked-in seeds stay small.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
status=0
for bin in build/fuzz/bin/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  work=build/fuzz/corpus/$name
  mkdir -p "$work" "build/fuzz/artifacts/$name"
  seeds=fuzz/corpus/$name
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="build/fuzz/artifacts/$name/" "$work" $( [ -d "$seeds" ] && echo "$seeds" ) \
       > "build/fuzz/$name.log" 2>&1; then
    echo "fuzz: $name FAILED (see build/fuzz/$name.log)"; tail -n 40 "build/fuzz/$name.log"; status=1
  else
    grep -E 'stat::number_of_executed_units' "build/fuzz/$name.log" || true
  fi
done
exit $status
