#!/usr/bin/env bash
# Makes the Windows program and tests it, on Debian with Debian's packages
# only:
#
#   1. Qt (static) and StormLib for Windows, from Debian's source packages,
#      built once into ~/.cache/tallyforge/windows/ (scripts/windows_deps.sh);
#   2. tallyforge.exe and the tests, cross-built with MinGW-w64 into
#      build-windows/, and the zip a Windows user downloads (CPack ZIP);
#   3. the core's tests and the window's tests, run under Wine;
#   4. the program from the unzipped zip, started under Wine on an X server
#      of its own (Xvfb) and driven with keys (xdotool) through one whole
#      Create; the file it writes must be, byte for byte, the one the core
#      built for this machine writes from the same input.
#
#   bash scripts/windows_app.sh
#
# Ends non-zero on any failure; the last line it prints is the zip's path.
# SKIP_WINE_TESTS=1 leaves out step 3 (for work on step 4).
# Wine runs in a prefix of its own under build-windows/; the Wine server of
# that prefix and the X server are the script's own, ended by prefix and by
# process id. Screenshots of the window under Wine are left in
# build-windows/screenshots/. Not part of scripts/test.sh: the first run
# builds Qt (see docs/windows.md for the times).
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
repo="$PWD"
started=$SECONDS

step() { echo "== $* ($((SECONDS - started)) s)" >&2; }
die() {
  echo "FAIL: $*" >&2
  exit 1
}

bash scripts/ensure_packages.sh cmake ninja-build g++ g++-mingw-w64-x86-64-posix \
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest qt6-base-dev \
  qt6-base-dev-tools dpkg-dev wine wine64 fonts-wine xvfb xauth xdotool x11-apps \
  imagemagick unzip >&2

build="$repo/build-windows"
jobs="${JOBS:-$(nproc)}"
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
mkdir -p "$build"

# --- 1. Qt and StormLib for Windows ---------------------------------------
step "Qt and StormLib for Windows"
deps="$(bash scripts/windows_deps.sh)"
qt_prefix="$(sed -n 's/^QT_PREFIX=//p' <<<"$deps")"
storm_prefix="$(sed -n 's/^STORMLIB_PREFIX=//p' <<<"$deps")"
[ -f "$qt_prefix/lib/cmake/Qt6/Qt6Config.cmake" ] || die "no Qt in $qt_prefix"
echo "Qt: $qt_prefix" >&2
echo "StormLib: $storm_prefix" >&2

# GoogleTest from Debian's sources, for Windows.
gtest_prefix="$build/googletest-prefix"
if [ ! -f "$gtest_prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  step "GoogleTest for Windows"
  cmake -S /usr/src/googletest -B "$build/googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$build/googletest" -j"$jobs" >/dev/null
  cmake --install "$build/googletest" >/dev/null
fi

# --- 2. The program, its tests and the zip --------------------------------
step "cross-building tallyforge.exe and the tests"
# The toolchain file puts these prefixes in CMAKE_FIND_ROOT_PATH, so
# find_package(Qt6), find_package(GTest) and find_package(StormLib) (or
# find_library(storm) and find_path(StormLib.h)) find the Windows builds.
cmake -S . -B "$build/app" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DTALLYFORGE_MINGW_PREFIX="$qt_prefix;$storm_prefix;$gtest_prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DTALLYFORGE_BUILD_TESTS=ON -DGTest_DIR="$gtest_prefix/lib/cmake/GTest" \
  -DStormLib_DIR="$storm_prefix/share/StormLib" >"$build/configure.log" 2>&1 ||
  {
    tail -n 30 "$build/configure.log" >&2
    die "configuring the Windows build (see $build/configure.log)"
  }
cmake --build "$build/app" -j"$jobs" >"$build/build.log" 2>&1 || {
  grep -E 'error|Error' "$build/build.log" | head -n 30 >&2
  die "building for Windows (see $build/build.log)"
}
if grep -q 'warning:' "$build/build.log"; then
  grep 'warning:' "$build/build.log" | sort -u | head -n 20 >&2
  die "the Windows build has warnings (see $build/build.log)"
fi

step "packing the zip"
rm -f "$build"/app/tallyforge-*.zip
(cd "$build/app" && cpack -G ZIP >"$build/cpack.log" 2>&1) || die "cpack (see $build/cpack.log)"
zips=("$build"/app/tallyforge-*-win64.zip)
[ -f "${zips[0]}" ] && [ ${#zips[@]} -eq 1 ] || die "cpack left no single tallyforge-*-win64.zip"
zip="${zips[0]}"

# --- Wine and the X server -------------------------------------------------
export WINEPREFIX="$build/wine-prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No downloads of Mono or Gecko, which nothing here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine="$(command -v wine || command -v wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
xvfb_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
  fi
  # Ends the Wine processes of this prefix only.
  "$wineserver" -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# An X server on the first free display from :90 up, so as not to meet
# another one on this machine.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$build/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local waited
    for waited in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  done
  return 1
}
start_xvfb || die "no X server (Xvfb) could be started"
unset WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "making the Wine prefix"
  "$wine" wineboot --init >"$build/wineboot.log" 2>&1 || true
  "$wineserver" -w
  [ -f "$WINEPREFIX/system.reg" ] || die "wineboot made no prefix (see $build/wineboot.log)"
fi

# --- 3. Tests under Wine -----------------------------------------------------
# Qt puts every program of a Windows build at the top of the build folder:
# the core's tests are *_tests.exe, the window's *_test.exe.
core_tests=("$build"/app/*_tests.exe)
window_tests=("$build"/app/*_test.exe)
[ -f "${core_tests[0]}" ] || die "no core tests (*_tests.exe) in $build/app"
[ -f "${window_tests[0]}" ] || die "no window tests (*_test.exe) in $build/app"
status=0
if [ -z "${SKIP_WINE_TESTS:-}" ]; then
step "the core's tests under Wine"
for exe in "${core_tests[@]}"; do
  echo "-- $(basename "$exe")" >&2
  "$wine" "$exe" --gtest_color=no --gtest_brief=1 >"$build/$(basename "$exe" .exe).log" 2>&1 ||
    status=1
  tail -n 3 "$build/$(basename "$exe" .exe).log" >&2
done

# The window's tests under Windows' own platform plugin on the X server,
# with Wine's fonts, as on a Windows machine. WINDOW_TESTS_PLATFORM=offscreen
# runs them on Qt's offscreen platform instead.
step "the window's tests under Wine (${WINDOW_TESTS_PLATFORM:-windows} platform)"
for exe in "${window_tests[@]}"; do
  name="$(basename "$exe" .exe)"
  platform="${WINDOW_TESTS_PLATFORM:-windows}"
  if (cd "$build/app" && QT_QPA_PLATFORM="$platform" \
    timeout 600 "$wine" "$exe" -o "$build/$name.log,txt" >/dev/null 2>&1); then
    echo "-- $name ($platform): $(grep -E '^Totals:' "$build/$name.log")" >&2
  else
    echo "-- $name: FAILED" >&2
    grep -E '^(FAIL|XPASS|QFATAL)|Loc:|Totals:' "$build/$name.log" >&2 || tail -n 20 "$build/$name.log" >&2
    status=1
  fi
  "$wineserver" -w
done
[ "$status" -eq 0 ] || die "tests under Wine (logs in $build)"
fi

# --- 4. The unzipped program, driven through one Create --------------------
step "the zip's contents"
unzipped="$build/unzipped"
rm -rf "$unzipped"
mkdir -p "$unzipped"
(cd "$unzipped" && unzip -q "$zip")
unzip -l "$zip" >&2
exe="$(find "$unzipped" -name tallyforge.exe | head -n1)"
[ -n "$exe" ] || die "no tallyforge.exe in the zip"
# Nothing but Windows' own DLLs may be needed: each DLL a program in the zip
# imports must be one that Windows has (Wine's system32 holds its stand-ins),
# and none of the MinGW runtime or Qt, which a Windows machine does not have.
system32="$WINEPREFIX/drive_c/windows/system32"
while IFS= read -r program; do
  while IFS= read -r dll; do
    lower="${dll,,}"
    case "$lower" in
      lib*.dll | qt6*.dll) die "$(basename "$program") needs $dll, which the zip does not bring" ;;
      # API sets are names Windows itself resolves; Wine has no files for them.
      api-ms-win-*.dll) continue ;;
    esac
    [ -e "$system32/$lower" ] || [ -e "$system32/$dll" ] ||
      die "$(basename "$program") needs $dll, which is not a Windows DLL"
  done < <(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p')
  echo "$(basename "$program"): imports only Windows DLLs" >&2
done < <(find "$unzipped" -name '*.exe')

step "one Create, driven with keys under Wine"
shots="$build/screenshots"
out="$build/created"
rm -rf "$shots" "$out"
mkdir -p "$shots" "$out"
screenshot() { xwd -root -silent | convert xwd:- "$shots/$1.png"; }
window_of() { # title, seconds
  timeout "$2" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true
}
keys() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 60 "$1"; }

(cd "$(dirname "$exe")" && exec env -u QT_QPA_PLATFORM "$wine" tallyforge.exe) \
  >"$build/tallyforge-run.log" 2>&1 &
app_pid=$!
main="$(window_of Tallyforge 60)"
[ -n "$main" ] || die "the program showed no window titled Tallyforge within 60 s"
sleep 2
timeout 10 xdotool windowfocus --sync "$main" || xdotool windowfocus "$main"
screenshot window

# The kill step box has the focus when the window opens; Tab goes on in the
# window's order: kills up to, unit, ore, gas, then Quit, the action type and
# Player 1 (Create is skipped while it is disabled).
step_kills=5 kills_up_to=20 unit=37 ore=100 gas=50
typed "$step_kills"
keys Tab
typed "$kills_up_to"
keys Tab End BackSpace BackSpace BackSpace
typed "$unit"
keys Tab
typed "$ore"
keys Tab
typed "$gas"
keys Tab Tab Tab space
sleep 1
screenshot filled
keys alt+c
dialog="$(window_of 'Save as' 30)"
[ -n "$dialog" ] || {
  screenshot no-dialog
  die "no save dialogue after Create (see $shots/no-dialog.png)"
}
sleep 1
screenshot save-dialog
target_windows="Z:${out//\//\\}\\Kills"
keys End shift+Home BackSpace
typed "$target_windows"
keys Return
hold="$(window_of 'Please hold\.\.\.' 30)"
[ -n "$hold" ] || {
  screenshot no-hold
  die "no \"Please hold...\" box after the save dialogue (see $shots/no-hold.png)"
}
keys Return
created="$(window_of 'File created' 60)"
[ -n "$created" ] || {
  screenshot no-created
  die "no \"File created\" box (see $shots/no-created.png)"
}
screenshot created
keys Return
sleep 1
keys Escape
for _ in $(seq 1 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$app_pid" 2>/dev/null; then
  die "the program did not end on Esc (Quit)"
fi
wait "$app_pid" || die "the program ended with status $?"
app_pid=""

step "the file's bytes"
[ -f "$out/Kills.trg" ] || die "no Kills.trg was written (in $out: $(ls -A "$out"))"
[ "$(ls -A "$out")" = "Kills.trg" ] || die "more than Kills.trg was left in $out: $(ls -A "$out")"
reference="$build/expected_file"
# The unit list text is a header the cross build made from assets/unit_list.txt.
# The core for this machine: every source but those for Windows alone.
core_sources=()
for source in base/*.cpp safefile/*.cpp trigfile/*.cpp; do
  [[ $source == *_windows.cpp ]] || core_sources+=("$source")
done
g++ -std=c++20 -O1 -I . -I "$build/app/trigfile/generated" "${core_sources[@]}" \
  tests/windows/expected_file.cpp -o "$reference"
"$reference" "$step_kills" "$kills_up_to" "$unit" "$ore" "$gas" 1 "$build/expected.trg"
cmp "$build/expected.trg" "$out/Kills.trg" ||
  die "the file the program wrote under Wine differs from the core's on this machine"
echo "Kills.trg: $(stat -c %s "$out/Kills.trg") bytes, the same as the core writes here" >&2

step "done: $(du -k "$zip" | cut -f1) KiB zip"
realpath "$zip"
