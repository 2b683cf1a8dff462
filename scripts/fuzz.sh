#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: builds the fuzz targets (clang, libFuzzer, ASan and
# UBSan) and runs each over a copy of its corpus for SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/build.sh build-fuzz
status=0
while IFS='=' read -r name corpus; do
  [ -n "$name" ] || continue
  work=$(mktemp -d)
  cp -r "$corpus/." "$work/"
  echo "=== fuzzing $name for ${seconds}s"
  if ! "build-fuzz/$(cd build-fuzz && find . -name "$name" -type f -perm -u+x | head -1)" \
      -max_total_time="$seconds" -print_final_stats=1 "$work" > "build-fuzz/$name.log" 2>&1; then
    tail -50 "build-fuzz/$name.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "build-fuzz/$name.log" | tail -2
  fi
  rm -rf "$work"
done < build-fuzz/fuzz-targets.txt
exit $status
