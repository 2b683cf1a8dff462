# GoogleTest for both widths: the system package in 64-bit builds, the sources
# in /usr/src/googletest compiled -m32 for the 32-bit tree.
include(GoogleTest)
if(QEN_WIDTH32)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # the source tree defines the GTest:: aliases itself
else()
  find_package(GTest REQUIRED)
endif()

# qen_test_code(target): a program of test code. Whatever the tree's build
# type, test code compiles at -O1 with line tables only: the code under test
# keeps the tree's optimization (the benchmarks' too), and the test programs,
# large and many, build in half the time.
# QEN_O1_QUIET (top CMakeLists): the warnings GCC 12 gives falsely at -O1.
# In the sanitizer tree the test programs keep AddressSanitizer (their stack
# and global buffers, which they hand to the code under test, carry red
# zones) but not UndefinedBehaviorSanitizer, which checks the code under test
# and would only double the test programs' compile time.
function(qen_test_code target)
  target_compile_options(${target} PRIVATE -O1 -g1 ${QEN_O1_QUIET})
  if(QEN_SANITIZE)
    target_compile_options(${target} PRIVATE -fno-sanitize=undefined)
  endif()
endfunction()

# GoogleTest's header, compiled once per tree for every test program: a
# program of its own (test programs are position-independent executables, so
# it is one too) whose precompiled header each test program reuses.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/qen_gtest_pch.cpp CONTENT "int main() { return 0; }\n")
add_executable(qen_gtest_pch ${CMAKE_BINARY_DIR}/qen_gtest_pch.cpp)
qen_test_code(qen_gtest_pch)
target_link_libraries(qen_gtest_pch PRIVATE GTest::gtest Threads::Threads)
target_precompile_headers(qen_gtest_pch PRIVATE <gtest/gtest.h> <algorithm> <cstdio> <cstdlib>
  <cstring> <filesystem> <fstream> <functional> <map> <random> <sstream> <string> <vector>)

# qen_tree_paths(source ...)
# QEN_SOURCE_DIR and QEN_BINARY_DIR, the tree's absolute folders, for those of
# the sources that name them: the others compile alike in any clone, so the
# compiler cache serves them from an earlier build of another clone.
function(qen_tree_paths)
  foreach(src IN LISTS ARGN)
    get_filename_component(path ${src} ABSOLUTE)
    if(EXISTS ${path})
      file(STRINGS ${path} uses REGEX "QEN_(SOURCE|BINARY)_DIR")
      if(uses)
        set_property(SOURCE ${src} APPEND PROPERTY COMPILE_DEFINITIONS
          QEN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QEN_BINARY_DIR="${CMAKE_BINARY_DIR}")
      endif()
    endif()
  endforeach()
endfunction()

# qen_test(NAME name SOURCES a.cpp ... [LIBS lib ...] [PROPERTIES ...])
# One GoogleTest program; every test in it becomes a CTest test.
function(qen_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gtest Threads::Threads)
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
  qen_test_code(${T_NAME})
  target_precompile_headers(${T_NAME} REUSE_FROM qen_gtest_pch)
  qen_tree_paths(${T_SOURCES})
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()

# qen_fuzz(NAME name SOURCES fuzz.cpp [SMOKE smoke_test.cpp ...] LIBS ... CORPUS dir)
# A libFuzzer target for a binary reader. In a QEN_FUZZ tree (clang) it is a
# fuzzer program that scripts/fuzz.sh runs for a bounded time over its corpus;
# in every other tree the same entry point runs as a GoogleTest smoke test.
if(QEN_FUZZ)
  add_custom_target(qen_fuzz_all)
endif()
function(qen_fuzz)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;SMOKE;LIBS" ${ARGN})
  if(QEN_FUZZ)
    add_executable(${F_NAME} ${F_SOURCES})
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    add_dependencies(qen_fuzz_all ${F_NAME})
    set_property(GLOBAL APPEND PROPERTY QEN_FUZZ_LIST "${F_NAME}=${F_CORPUS}")
  else()
    qen_test(NAME test_${F_NAME} SOURCES ${F_SOURCES} ${F_SMOKE} LIBS ${F_LIBS})
  endif()
endfunction()
