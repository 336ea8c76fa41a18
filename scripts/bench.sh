#!/usr/bin/env bash
# Builds the benchmark (Release) and runs it: encoding speed, whole files of
# 1,000 / 100,000 / 1,000,000 records against plain writes of the same bytes,
# the peak memory of a write, and adding 100,000 triggers to a map holding
# 10,000 against StormLib storing the same data. Ends with a Markdown summary.
#
#   bash scripts/bench.sh [FOLDER] [tallyforge_bench options]
#
# The files go to FOLDER, or to a new temporary folder that is removed at the
# end. The largest file is 2.4 GB. Options: --repeats N, --sizes 1000,100000,
# --encoding-records N, --skip-encoding, --skip-files, --skip-memory,
# --skip-maps, --map-triggers EXISTING,ADDED, --verbose.
set -euo pipefail

args=()
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  args=(--folder "$(cd "$1" && pwd)")
  shift
fi

cd "$(dirname "$0")/.."
bash scripts/ensure_packages.sh build-essential cmake libgtest-dev googletest libstorm-dev
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTALLYFORGE_BUILD_BENCH=ON \
  -DTALLYFORGE_BUILD_APP=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target tallyforge_bench >/dev/null
exec ./build-bench/bench/tallyforge_bench "${args[@]}" "$@"
