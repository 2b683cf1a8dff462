# Run as a script (cmake -DQEN_EDGE_LIB=... -P QenKit.cmake): the edge check
# of qen_kit_linkcheck. QEN_EDGE_DEPS holds name=archive pairs separated by
# "|"; each named library must define at least one symbol that QEN_EDGE_LIB leaves undefined.
if(CMAKE_SCRIPT_MODE_FILE AND DEFINED QEN_EDGE_LIB)
  function(qen_edge_symbols archive kind out)
    execute_process(COMMAND ${QEN_NM} -P -g ${archive} OUTPUT_VARIABLE text
                    ERROR_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "nm failed on ${archive}")
    endif()
    string(REPLACE "\n" ";" lines "${text}")
    set(names)
    foreach(line IN LISTS lines)
      if(line MATCHES "^([^ ]+) ([A-Za-z]) ")
        set(t ${CMAKE_MATCH_2})
        if(kind STREQUAL "U" AND t STREQUAL "U")
          list(APPEND names ${CMAKE_MATCH_1})
        elseif(kind STREQUAL "D" AND NOT t STREQUAL "U" AND NOT t STREQUAL "w")
          list(APPEND names ${CMAKE_MATCH_1})
        endif()
      endif()
    endforeach()
    list(REMOVE_DUPLICATES names)
    set(${out} "${names}" PARENT_SCOPE)
  endfunction()
  qen_edge_symbols(${QEN_EDGE_LIB} U wanted)
  string(REPLACE "|" ";" QEN_EDGE_DEPS "${QEN_EDGE_DEPS}")
  foreach(pair IN LISTS QEN_EDGE_DEPS)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 name)
    list(GET pair 1 archive)
    qen_edge_symbols(${archive} D offered)
    # the two lists share a name when joining them loses one
    set(both ${wanted} ${offered})
    list(LENGTH both n_both)
    list(REMOVE_DUPLICATES both)
    list(LENGTH both n_joined)
    set(hit OFF)
    if(n_joined LESS n_both)
      set(hit ON)
    endif()
    if(NOT hit)
      message(FATAL_ERROR "${QEN_EDGE_LIB} declares a link to ${name} but uses none of its symbols")
    endif()
  endforeach()
  return()
endif()

# qen_kit_layer(NAME target [ROOT folder] LINKS lib ... COMPONENTS folder ...
#               PUBLIC header ... [SHARED header ...] [INCLUDE_ORDER folder ...])
# One layer of the kit: a static library built from the component folders it
# lists (every source below each, its sosd folder included), linking only the
# libraries given in LINKS, which must be defined already, that is lie below
# it in the top CMakeLists' order. Folders and headers are named relative to
# ROOT (the current source folder when not given); a layer may gather
# components from several folders of the kit (nls/lms, services/lpm, ...), and
# every folder of each such parent must be listed.
#
# Users of the layer see its PUBLIC headers only: each is reached through a
# forwarding header in the build tree. A component's own sources see its own
# folder, the public headers and the SHARED headers: internal headers that the
# layer's components share. Every other header is private to its component; a
# test of one component that needs that component's internal header calls
# qen_kit_internal (with the component's own name, e.g. lms).
#
# The layer's static library is checked after it is built: every symbol it
# leaves undefined must be defined by a library it links (qen_kit_linkcheck).
#
# INCLUDE_ORDER lists, bottom-up, every component folder of one parent folder
# (nls/lxf nls/lxc ...): a component may include the headers of the
# components before it only. The layer's library is not built until the
# components' includes pass that check (qen_kit_includecheck).
function(qen_kit_layer)
  cmake_parse_arguments(L "" "NAME;ROOT" "LINKS;COMPONENTS;PUBLIC;SHARED;INCLUDE_ORDER" ${ARGN})
  if(NOT L_ROOT)
    set(L_ROOT ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  foreach(lib IN LISTS L_LINKS)
    if(NOT TARGET ${lib})
      message(FATAL_ERROR "${L_NAME} links ${lib}, which is not a layer below it")
    endif()
  endforeach()
  set(parents)
  foreach(c IN LISTS L_COMPONENTS)
    get_filename_component(parent ${L_ROOT}/${c} DIRECTORY)
    list(APPEND parents ${parent})
  endforeach()
  list(REMOVE_DUPLICATES parents)
  foreach(parent IN LISTS parents)
    file(GLOB present LIST_DIRECTORIES true RELATIVE ${L_ROOT} ${parent}/*)
    foreach(p IN LISTS present)
      if(IS_DIRECTORY ${L_ROOT}/${p} AND NOT p IN_LIST L_COMPONENTS)
        message(FATAL_ERROR "${L_NAME}: folder ${p} is not listed among its components")
      endif()
    endforeach()
  endforeach()

  set(srcs)
  foreach(c IN LISTS L_COMPONENTS)
    set(dir ${L_ROOT}/${c})
    if(NOT IS_DIRECTORY ${dir})
      message(FATAL_ERROR "${L_NAME}: no component folder ${c}")
    endif()
    file(GLOB_RECURSE s CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(APPEND srcs ${s})
    set(cincs ${dir})
    if(IS_DIRECTORY ${dir}/sosd)
      list(APPEND cincs ${dir}/sosd)
    endif()
    set_property(SOURCE ${s} APPEND PROPERTY INCLUDE_DIRECTORIES ${cincs})
    get_filename_component(cname ${c} NAME)
    set_property(GLOBAL PROPERTY QEN_KIT_COMPONENT_${cname} "${cincs}")
  endforeach()

  qen_kit_forward(${L_NAME} ${L_ROOT} ${CMAKE_CURRENT_BINARY_DIR}/public "${L_PUBLIC}")
  qen_kit_forward(${L_NAME} ${L_ROOT} ${CMAKE_CURRENT_BINARY_DIR}/shared "${L_SHARED}")

  add_library(${L_NAME} STATIC ${srcs})
  target_include_directories(${L_NAME} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/shared
                             PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_BINARY_DIR}/public>)
  target_link_libraries(${L_NAME} PUBLIC ${L_LINKS} Threads::Threads ${CMAKE_DL_LIBS})
  qen_kit_linkcheck(${L_NAME})
  if(L_INCLUDE_ORDER)
    qen_kit_includecheck(${L_NAME} ${L_ROOT} "${L_INCLUDE_ORDER}")
  endif()
endfunction()

# qen_kit_includecheck(target root folders)
# Runs scripts/nls_includes.py over the parent folder of the component
# folders (named relative to root, bottom-up) whenever one of their files
# changes; target is built only after the check passed, so that a component
# including a component above it fails the build.
function(qen_kit_includecheck target root folders)
  set(parent)
  set(names)
  foreach(c IN LISTS folders)
    get_filename_component(p ${root}/${c} DIRECTORY)
    if(parent AND NOT p STREQUAL parent)
      message(FATAL_ERROR "${target}: INCLUDE_ORDER folders of more than one parent")
    endif()
    set(parent ${p})
    get_filename_component(n ${c} NAME)
    list(APPEND names ${n})
  endforeach()
  find_program(QEN_PYTHON3 python3 HINTS /usr/bin REQUIRED)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${parent}/*.h ${parent}/*.cpp ${parent}/*.c)
  string(REPLACE ";" "," order "${names}")
  set(script ${CMAKE_SOURCE_DIR}/scripts/nls_includes.py)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.ok)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${QEN_PYTHON3} ${script} --root ${parent} --order ${order} --check --stamp ${stamp}
    DEPENDS ${script} ${files}
    COMMENT "Checking that the components of ${parent} include only downward"
    VERBATIM)
  add_custom_target(${target}_includecheck DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includecheck)
endfunction()

function(qen_kit_forward layer root fwd headers)
  set(names)
  foreach(h IN LISTS headers)
    if(NOT EXISTS ${root}/${h})
      message(FATAL_ERROR "${layer}: no header ${h}")
    endif()
    get_filename_component(name ${h} NAME)
    list(APPEND names ${name})
    # relative, so that the compiler cache serves any clone of the tree
    file(RELATIVE_PATH target ${fwd} ${root}/${h})
    file(CONFIGURE OUTPUT ${fwd}/${name} CONTENT "#include \"${target}\"\n")
  endforeach()
  file(MAKE_DIRECTORY ${fwd})
  file(GLOB old RELATIVE ${fwd} ${fwd}/*)
  foreach(o IN LISTS old)
    if(NOT o IN_LIST names)
      file(REMOVE ${fwd}/${o})
    endif()
  endforeach()
endfunction()

# qen_kit_internal(target component)
# Lets a test of that component include the component's internal headers.
function(qen_kit_internal target component)
  get_property(dirs GLOBAL PROPERTY QEN_KIT_COMPONENT_${component})
  if(NOT dirs)
    message(FATAL_ERROR "qen_kit_internal: no kit component ${component}")
  endif()
  target_include_directories(${target} PRIVATE ${dirs})
endfunction()

# qen_component_library(NAME target DEPS ...)
# A platform stand-in: one static library from every source below the
# current directory; the directory and each folder in it (and its sosd
# folder) are include directories.
function(qen_component_library)
  cmake_parse_arguments(L "" "NAME" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  file(GLOB comps LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  set(incs ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(c IN LISTS comps)
    if(IS_DIRECTORY ${c})
      list(APPEND incs ${c})
      if(IS_DIRECTORY ${c}/sosd)
        list(APPEND incs ${c}/sosd)
      endif()
    endif()
  endforeach()
  if(srcs)
    add_library(${L_NAME} STATIC ${srcs})
    target_include_directories(${L_NAME} PUBLIC ${incs})
    target_link_libraries(${L_NAME} PUBLIC ${L_DEPS} Threads::Threads ${CMAKE_DL_LIBS})
    qen_kit_linkcheck(${L_NAME})
  else()
    add_library(${L_NAME} INTERFACE)
    target_include_directories(${L_NAME} INTERFACE ${incs})
    target_link_libraries(${L_NAME} INTERFACE ${L_DEPS} Threads::Threads ${CMAKE_DL_LIBS})
  endif()
endfunction()

# qen_kit_linkcheck(target)
# Checks a static library against the links it declares, as part of the
# build. A program made of the library's every object (whole archive) and a
# bare main links the library alone with what it declares: a symbol that no
# declared library defines fails that link. Then each library the target
# declares directly must define a symbol that the target uses: no unused edge.
set(QEN_KIT_CMAKE_FILE ${CMAKE_CURRENT_LIST_FILE})
function(qen_kit_linkcheck target)
  set(main ${CMAKE_BINARY_DIR}/linkcheck/main.cpp)
  if(NOT EXISTS ${main})
    file(WRITE ${main} "int main() { return 0; }\n")
  endif()
  set(exe ${target}_linkcheck)
  add_executable(${exe} ${main})
  set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/linkcheck)
  target_link_libraries(${exe} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
  get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
  set(deps)
  foreach(l IN LISTS links)
    # the thread-sanitizer tree's shims are linked into every target of that
    # tree (top CMakeLists), not declared by the library
    if(TARGET ${l} AND NOT l STREQUAL "qen_tsan_shims")
      get_target_property(kind ${l} TYPE)
      get_target_property(real ${l} ALIASED_TARGET)
      if(real)
        set(l ${real})
      endif()
      if(kind STREQUAL "STATIC_LIBRARY" OR kind STREQUAL "SHARED_LIBRARY")
        list(APPEND deps "${l}=$<TARGET_FILE:${l}>")
      endif()
    endif()
  endforeach()
  if(deps)
    string(REPLACE ";" "|" deps "${deps}")
    add_custom_command(TARGET ${exe} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DQEN_NM=${CMAKE_NM} -DQEN_EDGE_LIB=$<TARGET_FILE:${target}>
              "-DQEN_EDGE_DEPS=${deps}" -P ${QEN_KIT_CMAKE_FILE}
      VERBATIM)
  endif()
endfunction()
