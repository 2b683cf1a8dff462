#!/usr/bin/env bash
# Installs what is missing, replays and fuzzes the fuzz targets from one time
# budget (QEN_FUZZ_SECONDS, default 180), then builds the 64-bit, 32-bit and
# sanitizer trees and runs their tests, the thread-sanitizer tree (the tests
# that start threads or take the kit's locks) last, and builds the product
# configuration and checks that it carries no test hook. Ends with a table of
# the stages' times.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/ia32.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
status=0
stages=()
# stage NAME COMMAND...: runs one stage, notes its time and result.
stage() {
  local name=$1 t0=$SECONDS result=ok
  shift
  echo "=== $name"
  "$@" || { result=FAILED; status=1; }
  stages+=("$(printf '%-22s %6ds %8ds  %s' "$name" $((SECONDS - t0)) "$SECONDS" "$result")")
  echo "=== $name: $result after ${SECONDS}s"
}
run_tests() { (cd "$1" && ctest -j "$(nproc)" --output-on-failure --timeout 600); }

stage "fuzz" bash scripts/fuzz.sh "${QEN_FUZZ_SECONDS:-180}"
# The agents' soak (tests/agents/soak: 50 resources, 200 cycles) is one of
# the tests of build/ and build-asan/; QEN_SOAK_CYCLES changes its length.
for tree in build build32 build-asan build-tsan; do
  stage "$tree built" bash scripts/build.sh "$tree"
  stage "$tree tested" run_tests "$tree"
done
stage "product built, checked" bash scripts/build.sh build-product

echo
printf '%-22s %7s %9s  %s\n' stage time "ends at" result
printf '%s\n' "${stages[@]}"
exit $status
