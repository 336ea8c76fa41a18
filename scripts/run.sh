#!/usr/bin/env bash
# Builds Tallyforge (installing what the build needs) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
bash scripts/ensure_packages.sh "${BUILD_PACKAGES[@]}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYFORGE_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)" --target tallyforge
exec ./build/app/tallyforge "$@"
