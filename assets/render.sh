#!/usr/bin/env bash
# Rebuilds the render_assets tool and rewrites banner.jpg, icon.png and icon.ico
# in this folder.
#
#   assets/render.sh [build folder]      (default: build-assets/render at the repo root)
set -euo pipefail

assets_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo_dir="$(dirname "$assets_dir")"
build_dir="${1:-$repo_dir/build-assets/render}"

# The folder is configured on its own, so the tool builds whatever state the
# rest of the tree is in.
cmake -S "$assets_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" --target render_assets --parallel 2

QT_QPA_PLATFORM=offscreen "$build_dir/render_assets" "$assets_dir"
echo "wrote $assets_dir/banner.jpg, icon.png, icon.ico"
