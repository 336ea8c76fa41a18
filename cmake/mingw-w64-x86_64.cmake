# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64), posix-threads variant so that std::thread and
# std::mutex are there for GoogleTest.
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Libraries built for the target (GoogleTest) are found under the folders
# listed in TALLYFORGE_MINGW_PREFIX as well as the compiler's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(TALLYFORGE_MINGW_PREFIX "" CACHE PATH "Extra install prefixes of libraries built for Windows")
set(CMAKE_FIND_ROOT_PATH /usr/${_triple} ${TALLYFORGE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe per program: no MinGW runtime DLLs to ship or to
# put on Wine's path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Lets CTest and gtest_discover_tests run the .exe files through Wine.
find_program(TALLYFORGE_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TALLYFORGE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TALLYFORGE_WINE})
endif()
