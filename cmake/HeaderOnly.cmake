# Header-only libraries that Debian installs under /usr/include (CLI11,
# nlohmann-json), as targets tallyforge::<name>.
#
#   tallyforge_header_only(CLI11 CLI/CLI.hpp)
#
# A cross build (Windows through MinGW-w64) must not see the build machine's
# /usr/include, which holds Linux's C library; so there the library's own
# folder is copied into the build tree and only that copy is searched.
function(tallyforge_header_only name header)
  if(TARGET tallyforge::${name})
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    find_path(TALLYFORGE_HOST_${name}_DIR "${header}" HINTS /usr/include /usr/local/include
      NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
    if(NOT TALLYFORGE_HOST_${name}_DIR)
      message(FATAL_ERROR "${name} (${header}) is not installed on the build machine")
    endif()
    string(REGEX REPLACE "/.*$" "" _top "${header}")
    set(_copy "${CMAKE_BINARY_DIR}/host-headers/${name}")
    file(COPY "${TALLYFORGE_HOST_${name}_DIR}/${_top}" DESTINATION "${_copy}")
    set(_include "${_copy}")
  else()
    find_path(TALLYFORGE_${name}_DIR "${header}" REQUIRED)
    set(_include "${TALLYFORGE_${name}_DIR}")
  endif()
  add_library(tallyforge_header_only_${name} INTERFACE)
  target_include_directories(tallyforge_header_only_${name} SYSTEM INTERFACE "${_include}")
  add_library(tallyforge::${name} ALIAS tallyforge_header_only_${name})
endfunction()
