#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: builds the fuzz targets (clang, libFuzzer, ASan and
# UBSan) and runs each over a copy of its corpus for SECONDS (default 60),
# as many at once as the machine has cores.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/build.sh build-fuzz
jobs=$(nproc)

# fuzz_one NAME CORPUS: one target's run; its log is build-fuzz/NAME.log.
fuzz_one() {
  local name=$1 corpus=$2 work bin
  work=$(mktemp -d)
  cp -r "$corpus/." "$work/"
  bin="build-fuzz/$(cd build-fuzz && find . -name "$name" -type f -perm -u+x | head -1)"
  if (cd build-fuzz && "../$bin" -max_total_time="$seconds" -print_final_stats=1 "$work") \
      > "build-fuzz/$name.log" 2>&1; then
    echo "=== $name: $(grep -E '^Done' "build-fuzz/$name.log" | tail -1)"
    rm -rf "$work"
  else
    echo "=== $name FAILED"
    tail -60 "build-fuzz/$name.log"
    rm -rf "$work"
    return 1
  fi
}

# Every target runs for the same time, so waiting for the oldest run frees a
# core as soon as any would.
status=0
pids=()
next=0
while IFS='=' read -r name corpus; do
  [ -n "$name" ] || continue
  if [ $((${#pids[@]} - next)) -ge "$jobs" ]; then
    wait "${pids[$next]}" || status=1
    next=$((next + 1))
  fi
  echo "=== fuzzing $name for ${seconds}s"
  fuzz_one "$name" "$corpus" &
  pids+=($!)
done < build-fuzz/fuzz-targets.txt
while [ "$next" -lt "${#pids[@]}" ]; do
  wait "${pids[$next]}" || status=1
  next=$((next + 1))
done
exit $status
