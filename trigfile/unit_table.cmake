# Turns the unit reference list (assets/unit_list.txt) into C++ initialisers,
# so that the core knows the unit names without reading the asset at run time.
#   cmake -DLIST=assets/unit_list.txt -DOUT=unit_table.inc -P unit_table.cmake
#
# The list has "N = Name" lines; a long name goes on over the next line(s),
# which do not start with a number ("17 = Alan " then "Schezar"). Those parts
# are joined with one blank, and blanks at either end are dropped.
file(READ "${LIST}" _text)
string(REPLACE "\r" "" _text "${_text}")
if(_text MATCHES "[;\\\\\"\\[\\]]")
  message(FATAL_ERROR "${LIST}: a name holds ; \\ \" [ or ], which this script cannot carry")
endif()
string(REPLACE "\n" ";" _lines "${_text}")

set(_out "// Made from assets/unit_list.txt by trigfile/unit_table.cmake at build time.\n")
set(_number "")
set(_name "")
macro(_flush)
  if(NOT _number STREQUAL "")
    string(STRIP "${_name}" _name)
    string(APPEND _out "{${_number}, \"${_name}\"},\n")
  endif()
endmacro()
foreach(_line IN LISTS _lines)
  if(_line MATCHES "^([0-9]+) = (.*)$")
    _flush()
    set(_number "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" _name)
  elseif(NOT _line STREQUAL "")
    if(_number STREQUAL "")
      message(FATAL_ERROR "${LIST}: '${_line}' goes on a name before any number")
    endif()
    string(STRIP "${_line}" _part)
    set(_name "${_name} ${_part}")
  endif()
endforeach()
_flush()

# Rewritten only when it changes, so that an unchanged list rebuilds nothing.
file(WRITE "${OUT}.new" "${_out}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
