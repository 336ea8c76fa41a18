# Instrumented builds: TALLYFORGE_SANITIZE for the tests, TALLYFORGE_FUZZ for
# the libFuzzer targets in fuzz/. Both must be set before any target exists,
# so that the core is instrumented the same way as the code that calls it.

option(TALLYFORGE_SANITIZE
  "Build with AddressSanitizer and UndefinedBehaviorSanitizer; any report stops the program" OFF)
option(TALLYFORGE_FUZZ "Build the libFuzzer targets of fuzz/ (clang only)" OFF)

if(TALLYFORGE_SANITIZE OR TALLYFORGE_FUZZ)
  if(MSVC)
    message(FATAL_ERROR "The sanitizer and fuzzing builds need GCC or Clang")
  endif()
  # GCC leaves float-cast-overflow out of "undefined"; the core turns doubles
  # into file fields, so that is a check we want everywhere.
  set(TALLYFORGE_SANITIZER_FLAGS
    -fsanitize=address,undefined,float-cast-overflow
    -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  add_compile_options(${TALLYFORGE_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
  # The runtime options every instrumented program starts with (why, in the file).
  add_library(tallyforge_sanitizer_options OBJECT cmake/sanitizer_options.cpp)
  link_libraries(tallyforge_sanitizer_options)
endif()

if(TALLYFORGE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TALLYFORGE_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Coverage feedback for the fuzzer in every library; the fuzz targets
  # themselves link the fuzzer's main() (fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
