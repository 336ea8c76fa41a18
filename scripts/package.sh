#!/usr/bin/env bash
# Builds the release Debian package of Tallyforge (installing what that needs)
# and prints the package's path; everything else goes to stderr, so
#   deb="$(bash scripts/package.sh)"
# works.
#
#   scripts/package.sh [build folder]      (default: build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

# dpkg-dev brings dpkg-shlibdeps, which derives the package's dependencies, and
# dpkg-buildflags; CPack picks the files to hand it with `file`.
bash scripts/ensure_packages.sh "${BUILD_PACKAGES[@]}" dpkg-dev file >&2

build_dir="${1:-build-release}"

# Debian's hardening flags, as its own packages are built with (including
# immediate binding, which a program with no plugins of its own can afford).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxx_flags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ld_flags="$(dpkg-buildflags --get LDFLAGS)"

{
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
    -DTALLYFORGE_BUILD_TESTS=OFF -DTALLYFORGE_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$ld_flags"
  cmake --build "$build_dir" -j"$(nproc)"
  # A package left from an earlier version would be picked up below.
  rm -f "$build_dir"/tallyforge_*.deb
  (cd "$build_dir" && cpack -G DEB)
} >&2

debs=("$build_dir"/tallyforge_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "cpack did not leave exactly one tallyforge_*.deb in $build_dir" >&2
  exit 1
fi
realpath "${debs[0]}"
