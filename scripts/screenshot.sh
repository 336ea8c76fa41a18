#!/usr/bin/env bash
# Renders the main window, as it opens, into docs/screenshot.png for the
# README. Needs no display: the window is drawn by Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
bash scripts/ensure_packages.sh "${BUILD_PACKAGES[@]}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYFORGE_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)" --target tallyforge
mkdir -p docs
QT_QPA_PLATFORM=offscreen ./build/app/tallyforge --screenshot "${1:-docs/screenshot.png}"
echo "Saved ${1:-docs/screenshot.png}"
