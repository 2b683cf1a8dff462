#!/usr/bin/env bash
# scripts/build.sh TREE   configures and builds one tree, warnings as errors:
#   build    64-bit, everything
#   build32  -m32: the kit, the probe and their tests
#   build-asan  64-bit with AddressSanitizer and UndefinedBehaviorSanitizer
#   build-tsan  64-bit with ThreadSanitizer: the kit, the agents and their tests
#   build-fuzz  the fuzz targets only, with clang's libFuzzer and the sanitizers
# The sanitizer trees build with assertions on.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build}
opts=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEN_WERROR=ON -DQEN_TEST_HOOKS=ON)
case "$tree" in
  build) ;;
  build32) opts+=(-DQEN_WIDTH32=ON) ;;
  build-asan) opts+=(-DQEN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  build-tsan) opts+=(-DQEN_TSAN=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1"
                     -DCMAKE_C_FLAGS_DEBUG="-g -O1") ;;
  build-fuzz)
    opts+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQEN_FUZZ=ON -DQEN_SANITIZE=ON)
    cmake -S . -B "$tree" "${opts[@]}" >/dev/null
    exec cmake --build "$tree" -j "$(nproc)" --target qen_fuzz_all ;;
  *) echo "unknown tree: $tree" >&2; exit 2 ;;
esac
cmake -S . -B "$tree" "${opts[@]}" >/dev/null
cmake --build "$tree" -j "$(nproc)"
