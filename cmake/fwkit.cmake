# Helpers shared by the folders' CMakeLists.

# fw_library(<target> DIR <source dir> [EXCLUDE <subdir>...] [EXPORT_NAME <name>])
# Builds one static library from every .cc below DIR (tests, fuzzers and
# mains excluded) and remembers which library a folder of tests belongs to.
function(fw_library target)
  cmake_parse_arguments(ARG "" "DIR;EXPORT_NAME" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${ARG_DIR}/*.cc")
  list(FILTER sources EXCLUDE REGEX "(_test|_fuzz|/main)\\.cc$")
  foreach(sub IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "^${ARG_DIR}/${sub}/")
  endforeach()
  if(NOT sources)
    # A folder whose sources are still to come builds an empty library.
    set(placeholder "${CMAKE_BINARY_DIR}/placeholders/${target}.cc")
    file(WRITE "${placeholder}" "// no sources yet\n")
    set(sources "${placeholder}")
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/fwkit>)
  if(ARG_EXPORT_NAME)
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${ARG_EXPORT_NAME})
  endif()
  file(RELATIVE_PATH rel "${CMAKE_SOURCE_DIR}" "${ARG_DIR}")
  set_property(GLOBAL PROPERTY "FW_LIB_FOR_${rel}" ${target})
  set_property(GLOBAL APPEND PROPERTY FW_INSTALLED_LIBRARIES ${target})
  set_property(GLOBAL APPEND PROPERTY FW_HEADER_DIRS "${rel}")
endfunction()

# The library that holds the sources mirrored by a folder of tests:
# tests/a/b looks for a library of a/b, then of a.
function(fw_library_for_tests out rel)
  set(dir "${rel}")
  while(dir)
    get_property(lib GLOBAL PROPERTY "FW_LIB_FOR_${dir}")
    if(lib)
      set(${out} ${lib} PARENT_SCOPE)
      return()
    endif()
    get_filename_component(dir "${dir}" DIRECTORY)
  endwhile()
  set(${out} "" PARENT_SCOPE)
endfunction()
