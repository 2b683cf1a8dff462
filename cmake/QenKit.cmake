# qen_kit_layer(NAME target LINKS lib ... COMPONENTS folder ... PUBLIC header ...
#               [SHARED header ...])
# One layer of the kit: a static library built from the component folders it
# lists (every source below each, its sosd folder included), linking only the
# libraries given in LINKS, which must be defined already, that is lie below
# it in the top CMakeLists' order. Every folder of the layer must be listed.
#
# Users of the layer see its PUBLIC headers only (paths relative to the
# layer's folder): each is reached through a forwarding header in the build
# tree. A component's own sources see its own folder, the public headers and
# the SHARED headers: internal headers that the layer's components share.
# Every other header is private to its component; a test of one component
# that needs that component's internal header calls qen_kit_internal.
function(qen_kit_layer)
  cmake_parse_arguments(L "" "NAME" "LINKS;COMPONENTS;PUBLIC;SHARED" ${ARGN})
  foreach(lib IN LISTS L_LINKS)
    if(NOT TARGET ${lib})
      message(FATAL_ERROR "${L_NAME} links ${lib}, which is not a layer below it")
    endif()
  endforeach()
  file(GLOB present LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(p IN LISTS present)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${p} AND NOT p IN_LIST L_COMPONENTS)
      message(FATAL_ERROR "${L_NAME}: folder ${p} is not listed among its components")
    endif()
  endforeach()

  set(srcs)
  foreach(c IN LISTS L_COMPONENTS)
    set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${c})
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
    set_property(GLOBAL PROPERTY QEN_KIT_COMPONENT_${c} "${cincs}")
  endforeach()

  qen_kit_forward(${L_NAME} ${CMAKE_CURRENT_BINARY_DIR}/public "${L_PUBLIC}")
  qen_kit_forward(${L_NAME} ${CMAKE_CURRENT_BINARY_DIR}/shared "${L_SHARED}")

  add_library(${L_NAME} STATIC ${srcs})
  target_include_directories(${L_NAME} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/shared
                             PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/public)
  target_link_libraries(${L_NAME} PUBLIC ${L_LINKS} Threads::Threads ${CMAKE_DL_LIBS})
endfunction()

# Writes a forwarding header in fwd for each header of the list (paths
# relative to the current source folder) and removes any other one there.
function(qen_kit_forward layer fwd headers)
  set(names)
  foreach(h IN LISTS headers)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${h})
      message(FATAL_ERROR "${layer}: no header ${h}")
    endif()
    get_filename_component(name ${h} NAME)
    list(APPEND names ${name})
    # relative, so that the compiler cache serves any clone of the tree
    file(RELATIVE_PATH target ${fwd} ${CMAKE_CURRENT_SOURCE_DIR}/${h})
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
  else()
    add_library(${L_NAME} INTERFACE)
    target_include_directories(${L_NAME} INTERFACE ${incs})
    target_link_libraries(${L_NAME} INTERFACE ${L_DEPS} Threads::Threads ${CMAKE_DL_LIBS})
  endif()
endfunction()
