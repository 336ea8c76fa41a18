#!/usr/bin/env bash
# Cross-compiles the safe file handling, the trigger-file core and their
# tests for 64-bit Windows with MinGW-w64 and runs them under Wine. Installs what it needs (the MinGW-w64
# compilers, Wine, GoogleTest's sources), skips what is there, and can be run
# again at any time. Not part of scripts/test.sh: it takes a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure_packages.sh cmake make g++-mingw-w64-x86-64 wine64 googletest

build=build-mingw
toolchain="$PWD/cmake/mingw-w64-x86_64.cmake"
prefix="$PWD/$build/googletest-prefix"

# GoogleTest from Debian's source package, built for Windows.
if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF \
    -DINSTALL_GTEST=ON
  cmake --build "$build/googletest" -j"$(nproc)"
  cmake --install "$build/googletest"
fi

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLYFORGE_BUILD_APP=OFF -DTALLYFORGE_BUILD_MAPARCHIVE=OFF -DTALLYFORGE_BUILD_TESTS=ON -DTALLYFORGE_MINGW_PREFIX="$prefix" \
  -DGTest_DIR="$prefix/lib/cmake/GTest"
cmake --build "$build" -j"$(nproc)"

# A Wine prefix of our own, made once; no display, no downloads, no noise.
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX="$PWD/$build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1 || true
  "${wine%/*}/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
fi

status=0
for exe in "$build"/tests/safefile/*.exe "$build"/tests/trigfile/*.exe; do
  echo "== $exe (under Wine)"
  "$wine" "$exe" --gtest_color=no || status=1
done
exit $status
