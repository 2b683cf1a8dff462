#!/usr/bin/env bash
# scripts/build.sh TREE   configures and builds one tree, warnings as errors:
#   build    64-bit, everything, the benchmarks included (assertions off,
#            NDEBUG, as the benchmarks measure the product's code)
#   build32  -m32: the kit, the probe and their tests, assertions on
#   build-asan  64-bit with AddressSanitizer and UndefinedBehaviorSanitizer
#   build-tsan  64-bit with ThreadSanitizer: the tests that start threads or
#            take the kit's locks (QEN_TSAN_TESTS in the top CMakeLists)
#   build-fuzz  the fuzz targets only, with clang's libFuzzer and the
#            sanitizers, assertions on
#   build-product  the product configuration: the deliverables without any
#            test, benchmark or test hook; scripts/product.sh checks it
# The sanitizer trees build at -O1 with line tables only (-g1), assertions on;
# in every tree the test programs compile at -O1 -g1 and share one
# precompiled GoogleTest header (cmake/QenTest.cmake).
# When ccache is installed every compile goes through it, keyed on paths
# relative to the clone's parent folder, so that another clone on the same
# machine reuses what an earlier build compiled.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build}
opts=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEN_WERROR=ON -DQEN_TEST_HOOKS=ON)
if command -v ccache >/dev/null && [ -z "${CCACHE_DISABLE:-}" ]; then
  opts+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$PWD")}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
  # precompiled GoogleTest headers go through the cache too
  export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
fi
# Optimized, line tables, assertions on (no NDEBUG).
checked() {
  opts+=(-DCMAKE_BUILD_TYPE=Checked "-DCMAKE_CXX_FLAGS_CHECKED=$1" "-DCMAKE_C_FLAGS_CHECKED=$1"
         -DCMAKE_EXE_LINKER_FLAGS_CHECKED= -DCMAKE_SHARED_LINKER_FLAGS_CHECKED=
         -DCMAKE_MODULE_LINKER_FLAGS_CHECKED=)
}
case "$tree" in
  # line tables only: what a profile of the benchmarks needs, in less time
  build) opts+=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG") ;;
  build32) opts+=(-DQEN_WIDTH32=ON); checked "-O2 -g1" ;;
  build-asan) opts+=(-DQEN_SANITIZE=ON); checked "-O1 -g1" ;;
  build-tsan) opts+=(-DQEN_TSAN=ON); checked "-O1 -g1" ;;
  build-fuzz)
    opts+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQEN_FUZZ=ON -DQEN_SANITIZE=ON)
    checked "-O1 -g1"
    cmake -S . -B "$tree" "${opts[@]}" >/dev/null
    exec cmake --build "$tree" -j "${QEN_JOBS:-$(nproc)}" --target qen_fuzz_all ;;
  build-product)
    opts=("${opts[@]/-DQEN_TEST_HOOKS=ON/-DQEN_TEST_HOOKS=OFF}")
    cmake -S . -B "$tree" "${opts[@]}" >/dev/null
    cmake --build "$tree" -j "${QEN_JOBS:-$(nproc)}"
    exec bash scripts/product.sh "$tree" ;;
  *) echo "unknown tree: $tree" >&2; exit 2 ;;
esac
cmake -S . -B "$tree" "${opts[@]}" >/dev/null
cmake --build "$tree" -j "${QEN_JOBS:-$(nproc)}"
