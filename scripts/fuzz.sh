#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: builds the fuzz targets (clang, libFuzzer, ASan
# and UBSan, assertions on) and runs every one over a copy of its corpus:
# libFuzzer first replays the whole corpus, then tries random inputs. All the
# targets share one budget, SECONDS (default 180): the wall time they take on
# two cores. Each target runs for the same slice of it, 2 x SECONDS / targets,
# as many at once as there are cores, so that every target gets the same time
# on any machine and more cores end sooner. Each input has
# QEN_FUZZ_TIMEOUT seconds (default 10). Any finding (a crash, a sanitizer report, a failed
# assertion, a slow input, a leak, memory past the limit) fails the run; the
# target's log is build-fuzz/logs/NAME.log and the input that did it
# build-fuzz/findings/NAME-*.
set -euo pipefail
cd "$(dirname "$0")/.."
budget=${1:-180}
budget_cores=2  # the budget is wall time on a machine of this many cores
per_input=${QEN_FUZZ_TIMEOUT:-10}
jobs=${QEN_JOBS:-$(nproc)}
bash scripts/build.sh build-fuzz
start=$SECONDS
out=build-fuzz
rm -rf "$out/logs" "$out/findings" "$out/work"
mkdir -p "$out/logs" "$out/findings" "$out/work"

names=()
corpora=()
bins=()
while IFS='=' read -r name corpus; do
  [ -n "$name" ] || continue
  names+=("$name")
  corpora+=("$corpus")
  bins+=("$PWD/$out/$(cd "$out" && find . -name "$name" -type f -perm -u+x | head -1)")
done < "$out/fuzz-targets.txt"
n=${#names[@]}

# run I ARGS...: one libFuzzer run of target I, in its own folder.
run() {
  local i=$1 name=${names[$1]}
  shift
  local log="$out/logs/$name.log"
  if (cd "$out/work/$name" && "${bins[$i]}" -timeout="$per_input" -print_final_stats=1 \
        -artifact_prefix="$PWD/../../findings/$name-" "$@") > "$log" 2>&1; then
    echo "=== $name: $(grep -E '^Done' "$log" | tail -1)"
  else
    echo "=== $name FAILED (log $log)"
    tail -60 "$log"
    return 1
  fi
}

# pool ARGS...: every target through run, as many at once as there are
# cores; returns 1 when any failed.
pool() {
  local status=0 i running=0
  for ((i = 0; i < n; i++)); do
    if [ "$running" -ge "$jobs" ]; then
      wait -n || status=1
      running=$((running - 1))
    fi
    run "$i" "$@" corpus &
    running=$((running + 1))
  done
  while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
  done
  return $status
}

for ((i = 0; i < n; i++)); do
  mkdir -p "$out/work/${names[$i]}/corpus"
  cp -r "${corpora[$i]}/." "$out/work/${names[$i]}/corpus/"
done

status=0
slice=$(((budget - (SECONDS - start)) * budget_cores / n))
if [ "$slice" -lt 1 ]; then slice=1; fi
echo "=== fuzz: $n targets, ${slice}s each, $jobs at once"
pool -max_total_time="$slice" || status=1
echo "=== fuzz: $n targets in $((SECONDS - start))s"
rm -rf "$out/work"
exit $status
