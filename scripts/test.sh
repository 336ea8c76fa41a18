#!/usr/bin/env bash
# Builds Tallyforge with its tests (installing what they need) and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
bash scripts/ensure_packages.sh "${BUILD_PACKAGES[@]}"

# Window tests need no display.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

cmake -S . -B build-tests -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYFORGE_BUILD_TESTS=ON
cmake --build build-tests -j"$(nproc)"
ctest --test-dir build-tests --output-on-failure -j"$(nproc)"
