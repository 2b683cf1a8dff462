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
  target_compile_definitions(${T_NAME} PRIVATE
    QEN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QEN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()
