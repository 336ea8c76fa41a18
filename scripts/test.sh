#!/usr/bin/env bash
# Builds Tallyforge with its tests (installing what they need) and runs them all,
# twice: an ordinary build, then one with AddressSanitizer and
# UndefinedBehaviorSanitizer, where any report fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
bash scripts/ensure_packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
# The check of changed maps with the npm package scm-extractor needs node and
# npm (a node of another origin that brings its own npm will do).
command -v npm >/dev/null || bash scripts/ensure_packages.sh nodejs npm

# Window tests need no display.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

status=0
# Ninja starts a program's files while the libraries it needs are still being
# linked, which Make does not, so both cores stay busy. A build folder
# left by a Make build is started afresh.
configure() {
  local dir="$1"
  shift
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake -G Ninja -S . -B "$dir" "$@"
}
# -g1 (line tables, function names) is all a failing test's stack needs, and
# builds a sixth faster than full debug information; so in both builds.
configure build-tests -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYFORGE_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build-tests -j"$(nproc)"
ctest --test-dir build-tests --output-on-failure -j"$(nproc)" || status=1

# The same tests, the window's included, under ASan (with leak checking) and
# UBSan. -O1 keeps the build quick and the reports' stacks readable. Qt's own
# libraries are not instrumented and report no leaks offscreen, so nothing is
# suppressed.
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" \
  -DTALLYFORGE_SANITIZE=ON -DTALLYFORGE_BUILD_TESTS=ON
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)" || status=1

exit $status
