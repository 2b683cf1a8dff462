#!/usr/bin/env bash
# Installs what is missing, runs each fuzz target for a bounded time, then
# builds the 64-bit, 32-bit and sanitizer trees and runs every test in each,
# the thread-sanitizer tree (the kit, the agents and their tests) last.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/ia32.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
status=0
echo "=== fuzz targets"
bash scripts/fuzz.sh "${QEN_FUZZ_SECONDS:-60}" || status=1
echo "=== fuzz targets done after ${SECONDS}s"
# The agents' soak (tests/agents/soak: 50 resources, 200 cycles) is one of
# the tests of build/ and build-asan/; QEN_SOAK_CYCLES changes its length.
for tree in build build32 build-asan build-tsan; do
  echo "=== $tree"
  bash scripts/build.sh "$tree"
  echo "=== $tree built after ${SECONDS}s"
  (cd "$tree" && ctest -j "$(nproc)" --output-on-failure --timeout 600) || status=1
  echo "=== $tree tested after ${SECONDS}s"
done
exit $status
