#!/usr/bin/env bash
# Builds the libraries the Windows program needs, for 64-bit Windows with
# MinGW-w64 (posix threads), from Debian's own source packages, once: Qt
# (qt6-base, at the host's version, statically) and StormLib (static). Each goes
# to a folder of its own under the cache,
#
#   ${TALLYFORGE_CACHE:-~/.cache/tallyforge}/windows/qt-<version>-<key>
#   ${TALLYFORGE_CACHE:-~/.cache/tallyforge}/windows/stormlib-<version>-<key>
#
# where <key> is made from the build options below, so a change of options
# builds anew beside the old one, and a folder is only taken as done once the
# build has installed into it completely. Prints the two prefixes as shell
# assignments on the last two lines:
#
#   QT_PREFIX=...
#   STORMLIB_PREFIX=...
#
#   bash scripts/windows_deps.sh [qt|stormlib]...   (default: both)
#
# Qt takes 20 to 40 minutes on two cores; NICE (default 10) and JOBS (default
# the number of cores) say how hard it may press the machine.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
repo="$PWD"

bash scripts/ensure_packages.sh cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix \
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 qt6-base-dev qt6-base-dev-tools >&2

cache="${TALLYFORGE_CACHE:-$HOME/.cache/tallyforge}/windows"
jobs="${JOBS:-$(nproc)}"
nice_level="${NICE:-10}"
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
mkdir -p "$cache"

log() { echo "windows_deps: $*" >&2; }

# The source of a Debian package, unpacked with Debian's patches applied, into
# $cache/src/<package>_<version>/tree; prints that folder. WHICH is
# =VERSION, or /SUITE for the version a suite has. apt-get source needs a deb-src line;
# one is written to a folder of our own and given to this one apt-get run,
# with package lists and caches of its own, so the machine's own sources,
# lists and caches stay as they were.
fetch_source() { # package which
  local package="$1" which="$2" version
  local found=""
  if [ "${which#=}" != "$which" ]; then
    found="$cache/src/${package}_${which#=}/tree"
  fi
  if [ -n "$found" ] && [ -f "$found/../.unpacked" ]; then
    echo "$found"
    return 0
  fi
  local apt_dir="$cache/src/apt"
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/parts" "$apt_dir/archives/partial"
  local codename
  codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
  # Unstable too: the fallback for a source whose files this release's
  # archive no longer serves.
  printf '%s\n' \
    "deb-src http://deb.debian.org/debian $codename main" \
    "deb-src http://deb.debian.org/debian $codename-updates main" \
    "deb-src http://deb.debian.org/debian-security $codename-security main" \
    "deb-src http://deb.debian.org/debian sid main" >"$apt_dir/sources.list"
  local apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir" -o "Dir::Cache::archives=$apt_dir/archives"
    -o "APT::Sandbox::User=root" -o "DPkg::Lock::Timeout=1200")
  log "fetching the source of $package$which"
  apt-get "${apt_opts[@]}" update -qq >&2 || return 1
  local download="$apt_dir/download"
  mkdir -p "$download"
  (cd "$download" && apt-get "${apt_opts[@]}" source --download-only -qq \
    "$package$which" >&2) || return 1
  local dsc
  dsc="$(ls "$download"/*.dsc)"
  version="$(sed -n 's/^Version: //p' "$dsc")"
  local dest="$cache/src/${package}_${version}"
  rm -rf "$dest"
  mv "$download" "$dest"
  (cd "$dest" && dpkg-source --no-check -x "$(basename "$dsc")" tree >&2) || return 1
  rm -rf "$apt_dir"
  touch "$dest/.unpacked"
  echo "$dest/tree"
}

# A short key for a list of options: the same options, the same folder.
key_of() { printf '%s\n' "$@" | sha256sum | cut -c1-10; }

# --- Qt -----------------------------------------------------------------
# The host's Qt version, so the host's moc, rcc and uic serve the Windows build.
qt_version="$(dpkg-query -W -f='${source:Version}' qt6-base-dev)"
qt_upstream="$(dpkg-query -W -f='${source:Upstream-Version}' qt6-base-dev)"
qt_upstream="${qt_upstream%%+*}"
# Static: one exe with nothing beside it. Only the modules the program and its
# tests use (Core, Gui, Widgets, Test) and the Windows platform plugin, the JPEG
# reader (the banner) and the Windows styles; the image and font libraries are
# Qt's own bundled ones, so nothing else has to exist for Windows. Debian's
# source leaves out src/3rdparty/wintab, hence no tablet events. The Windows
# platform plugin does not compile without OpenGL; on, it is "dynamic OpenGL",
# which needs nothing at build time.
qt_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=ON
  -DFEATURE_tabletevent=OFF
  -DFEATURE_opengl_dynamic=ON
  -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_jpeg=ON
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_icu=OFF -DFEATURE_openssl=OFF
  -DFEATURE_sql_sqlite=OFF
)
qt_prefix="$cache/qt-$qt_upstream-$(key_of "$qt_version" "${qt_options[@]}")"

build_qt() {
  if [ -f "$qt_prefix/.complete" ]; then
    log "Qt $qt_upstream: cached in $qt_prefix"
    return
  fi
  local src
  src="$(fetch_source qt6-base "=$qt_version")"
  local build="$cache/build/qt-$qt_upstream"
  rm -rf "$build" "$qt_prefix"
  log "Qt $qt_upstream: configuring (log: $build.log)"
  mkdir -p "$build"
  {
    nice -n "$nice_level" cmake -S "$src" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
      -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      "${qt_options[@]}"
    log "Qt $qt_upstream: building with $jobs jobs at nice $nice_level"
    nice -n "$nice_level" cmake --build "$build" --parallel "$jobs"
    cmake --install "$build"
  } >"$build.log" 2>&1 || {
    tail -n 40 "$build.log" >&2
    log "Qt $qt_upstream: failed, see $build.log"
    return 1
  }
  touch "$qt_prefix/.complete"
  rm -rf "$build"
  log "Qt $qt_upstream: installed in $qt_prefix"
}

# --- StormLib -------------------------------------------------------------
# From the source of the host's libstorm-dev when the archive still serves it,
# else the one in Debian unstable (sid) (the version used is in the prefix's
# SOURCE_VERSION). Static, with its bundled zlib and bzip2, and with wide
# (UTF-16) paths: the file name functions take wchar_t, as the rest of the
# program passes paths on Windows. UNICODE and _UNICODE are made part of the
# installed StormLib::storm target, so every user of StormLib.h sees the same
# TCHAR as the library was built with.
storm_host_version="$(dpkg-query -W -f='${Version}' libstorm-dev 2>/dev/null ||
  apt-cache show --no-all-versions libstorm-dev 2>/dev/null | sed -n 's/^Version: //p' | head -n1)"
storm_inject='cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL target_compile_definitions storm PUBLIC UNICODE _UNICODE)'
storm_options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DSTORM_BUILD_TESTS=OFF
  -DSTORM_USE_BUNDLED_LIBRARIES=ON)
storm_upstream="${storm_host_version#*:}"
storm_upstream="${storm_upstream%%[-+]*}"
storm_prefix="$cache/stormlib-${storm_upstream:-none}-$(key_of "$storm_host_version" "$storm_inject" \
  "${storm_options[@]}" without-restore-previous-ABI)"

build_stormlib() {
  if [ -f "$storm_prefix/.complete" ]; then
    log "StormLib: cached in $storm_prefix"
    return
  fi
  local src
  if [ -z "$storm_host_version" ] || ! src="$(fetch_source stormlib "=$storm_host_version")"; then
    log "StormLib: the source of ${storm_host_version:-libstorm-dev} is not served; taking the one in sid"
    src="$(fetch_source stormlib /sid)" || return 1
  fi
  local build="$cache/build/stormlib"
  rm -rf "$build" "$storm_prefix"
  mkdir -p "$build"
  # Debian's patch that keeps the Linux library's old GetLastError and
  # SetLastError exports would clash with Windows' own; taken out again.
  cp -a "$src" "$build/src"
  local abi_patch="$build/src/debian/patches/restore-previous-ABI.patch"
  if [ -f "$abi_patch" ]; then
    patch -d "$build/src" -R -p1 --quiet <"$abi_patch" || return 1
  fi
  printf '%s\n' "$storm_inject" >"$build/inject.cmake"
  log "StormLib: building $(basename "$(dirname "$src")") (log: $build.log)"
  {
    nice -n "$nice_level" cmake -S "$build/src" -B "$build/out" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$storm_prefix" \
      -DCMAKE_PROJECT_INCLUDE="$build/inject.cmake" "${storm_options[@]}"
    nice -n "$nice_level" cmake --build "$build/out" --parallel "$jobs"
    cmake --install "$build/out"
  } >"$build.log" 2>&1 || {
    tail -n 40 "$build.log" >&2
    log "StormLib: failed, see $build.log"
    return 1
  }
  # Debian's library is libstorm; the Windows build names it StormLib. Both
  # names, so that find_library(NAMES storm) finds it as on Linux.
  ln -sf libStormLib.a "$storm_prefix/lib/libstorm.a"
  basename "$(dirname "$src")" | sed 's/^stormlib_//' >"$storm_prefix/SOURCE_VERSION"
  touch "$storm_prefix/.complete"
  rm -rf "$build"
  log "StormLib: installed in $storm_prefix"
}

what=("$@")
[ ${#what[@]} -eq 0 ] && what=(qt stormlib)
for w in "${what[@]}"; do
  case "$w" in
    qt) build_qt ;;
    stormlib) build_stormlib ;;
    *)
      log "unknown part: $w (qt or stormlib)"
      exit 2
      ;;
  esac
done
echo "QT_PREFIX=$qt_prefix"
echo "STORMLIB_PREFIX=$storm_prefix"
