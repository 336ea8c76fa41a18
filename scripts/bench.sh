#!/usr/bin/env bash
# Builds the benchmark (Release) and runs it: encoding speed, whole files of
# 1,000 / 100,000 / 1,000,000 records against plain writes of the same bytes,
# the peak memory of a write, and adding 100,000 triggers to a map holding
# 10,000 against StormLib storing the same data. Ends with a Markdown summary.
#
# Then the window's File > Open of big files against `tallyforge-cli show` of
# the same files (bench/open_bench.cpp, offscreen), and the command line
# against the same work by other means (scripts/bench_cli.sh): show against
# cat, add against smpq by hand.
#
#   bash scripts/bench.sh [FOLDER] [options]
set -euo pipefail

usage() {
  cat <<'TEXT'
Usage: bash scripts/bench.sh [FOLDER] [options]

Builds the benchmarks and tallyforge-cli (Release, in build-bench/) and runs
them. The files go to FOLDER, or to a new temporary folder removed at the
end; the largest is 2.4 GB.

Options of the benchmark program:
  --repeats N                     runs of each measurement (best is kept)
  --sizes 1000,100000             trigger-file sizes to write
  --encoding-records N            records for the encoding speed
  --skip-encoding, --skip-files, --skip-memory, --skip-maps
  --map-triggers EXISTING,ADDED   the map add's sizes (default 10000,100000)
  --verbose
Options of the window's Open against tallyforge-cli show:
  --skip-open                     leave it out (the build then needs no Qt)
  --open-sizes 100000,300000      triggers of the files opened (default)
Options of the command-line comparisons:
  --skip-cli                      leave them out
  --cli-only                      run only them
  --show-triggers N               triggers of the file shown (default 100000)
  -h, --help                      this text
TEXT
}

args=()
folder=""
skip_cli=0 cli_only=0 show_triggers=100000 map_triggers=10000,100000 repeats=3
skip_open=0 open_sizes=100000,300000
for a in "$@"; do
  case $a in -h | --help) usage; exit 0 ;; esac
done
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  folder=$(cd "$1" && pwd)
  args=(--folder "$folder")
  shift
fi
while [ $# -gt 0 ]; do
  case $1 in
    --skip-cli) skip_cli=1 ;;
    --cli-only) cli_only=1 ;;
    --skip-open) skip_open=1 ;;
    --open-sizes) open_sizes=$2; shift ;;
    --show-triggers) show_triggers=$2; shift ;;
    --map-triggers) map_triggers=$2; args+=("$1" "$2"); shift ;;
    --repeats) repeats=$2; args+=("$1" "$2"); shift ;;
    *) args+=("$1") ;;
  esac
  shift
done

cd "$(dirname "$0")/.."
[ "$cli_only" = 0 ] || skip_open=1
bash scripts/ensure_packages.sh build-essential cmake libgtest-dev googletest libstorm-dev
targets=(tallyforge_bench tallyforge-cli) app=OFF
if [ "$skip_open" = 0 ]; then
  bash scripts/ensure_packages.sh qt6-base-dev
  targets+=(tallyforge_open_bench) app=ON
fi
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTALLYFORGE_BUILD_BENCH=ON \
  -DTALLYFORGE_BUILD_APP="$app" -DTALLYFORGE_BUILD_CLI=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target "${targets[@]}" >/dev/null
if [ "$cli_only" = 0 ]; then
  ./build-bench/bench/tallyforge_bench "${args[@]}"
fi
if [ "$skip_open" = 0 ]; then
  echo
  open_args=(--cli "$PWD/build-bench/cli/tallyforge-cli" --repeats "$repeats" --sizes "$open_sizes")
  [ -z "$folder" ] || open_args+=(--folder "$folder")
  ./build-bench/bench/tallyforge_open_bench "${open_args[@]}"
fi
if [ "$skip_cli" = 0 ]; then
  bash scripts/ensure_packages.sh smpq python3 time
  work=${folder:-$(mktemp -d)}
  echo
  echo "Command line against the same work by other means (best of $repeats):"
  bash scripts/bench_cli.sh "$PWD/build-bench/cli/tallyforge-cli" "$work/cli" "$repeats" \
    "$show_triggers" "$map_triggers"
  rm -rf "$work/cli"
  [ -n "$folder" ] || rm -rf "$work"
fi
