#!/usr/bin/env bash
# Installs what is missing, replays and fuzzes the fuzz targets from one time
# budget (QEN_FUZZ_SECONDS, default 180), then builds the 64-bit, 32-bit and
# sanitizer trees and runs their tests, the thread-sanitizer tree (the tests
# that start threads or take the kit's locks) last, and builds the product
# configuration and checks that it carries no test hook. Ends with a table of
# the stages' times.
#
# While one tree's tests run, the next tree builds at the lowest priority:
# many tests wait on timers, children and pipes, and the compiler takes the
# cores they leave idle without slowing the tests down. Each stage's line in
# the table gives its own time and when it ended, so stages that overlapped
# show as such.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/ia32.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
stages=$(mktemp -d)
trap 'rm -rf "$stages"' EXIT
# stage NAME COMMAND...: runs one stage and notes its time and result in
# $stages (one file a stage, named by its start so the table keeps the order).
stage() {
  local name=$1 t0=$SECONDS result=ok
  shift
  echo "=== $name"
  "$@" || result=FAILED
  printf '%-22s %6ds %8ds  %s\n' "$name" $((SECONDS - t0)) "$SECONDS" "$result" \
    > "$stages/$(printf '%06d' "$t0")-$name"
  echo "=== $name: $result after ${SECONDS}s"
}
run_tests() { (cd "$1" && ctest -j "$(nproc)" --output-on-failure --timeout 600); }
# The next tree's build, beside a test stage: its compiler output goes to a
# log that is shown only when the build fails.
build_quietly() {
  local log=$1/build.log
  mkdir -p "$1"
  nice -n 19 bash scripts/build.sh "$1" > "$log" 2>&1 || { cat "$log"; return 1; }
}

stage "fuzz" bash scripts/fuzz.sh "${QEN_FUZZ_SECONDS:-180}"
# The agents' soak (tests/agents/soak: 50 resources, 200 cycles) is one of
# the tests of build/ and build-asan/; QEN_SOAK_CYCLES changes its length.
trees=(build build32 build-asan build-tsan build-product)
stage "build built" bash scripts/build.sh build
for ((i = 0; i + 1 < ${#trees[@]}; i++)); do
  tree=${trees[$i]} next=${trees[$i + 1]}
  if [ "$next" = build-product ]; then
    stage "product built, checked" build_quietly "$next" &
  else
    stage "$next built" build_quietly "$next" &
  fi
  stage "$tree tested" run_tests "$tree"
  wait $!
done

echo
printf '%-22s %7s %9s  %s\n' stage time "ends at" result
cat "$stages"/*
if grep -q FAILED "$stages"/*; then exit 1; fi
