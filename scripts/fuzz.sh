#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan and UBSan on) and runs
# each for a bounded time, starting from its committed seed corpus.
#   bash scripts/fuzz.sh                 # every target, 60 seconds each
#   FUZZ_SECONDS=600 bash scripts/fuzz.sh
#   bash scripts/fuzz.sh leading_number  # only the targets named
# New inputs that widen coverage go to build-fuzz/corpus/<target>/, not into
# the committed seeds. A finding stops the run with the target's report and
# leaves the input as build-fuzz/findings/<target>/crash-*; the script then
# exits non-zero. Installs what it needs and can be run again at any time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure_packages.sh cmake make clang libclang-rt-dev libstorm-dev smpq

seconds="${FUZZ_SECONDS:-60}"
build=build-fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(leading_number settings_roundtrip trigger_file_reader scenario_sections map_archive)
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLYFORGE_FUZZ=ON -DTALLYFORGE_BUILD_APP=OFF -DTALLYFORGE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzz}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Map seeds are made here with smpq from the scenario seeds; the committed
# ones are only the findings of earlier runs.
mkdir -p "$build/seeds/map_archive/staredit"
for chk in fuzz/corpus/scenario_sections/*; do
  cp "$chk" "$build/seeds/map_archive/staredit/scenario.chk"
  (cd "$build/seeds/map_archive" && smpq -c -q -f -M 1 -C PKWARE "$(basename "$chk").scx" staredit/scenario.chk)
done
rm -r "$build/seeds/map_archive/staredit"

status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  seeds="fuzz/corpus/$t"
  [ "$t" = map_archive ] && seeds="$seeds $build/seeds/map_archive"
  # Trigger records are 2400 bytes: the readers need room for a few.
  max_len=1024
  case "$t" in trigger_file_reader | scenario_sections | map_archive) max_len=16384 ;; esac
  echo "== $t: ${seconds} s"
  log="$build/findings/$t/last-run.log"
  if "$build/fuzz/${t}_fuzz" "$build/corpus/$t" $seeds -max_total_time="$seconds" \
    -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t/" >"$log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|DONE' "$log" || true
    echo "== $t: no finding"
  else
    tail -n 40 "$log"
    echo "== $t: FINDING, see $log and $build/findings/$t/"
    status=1
  fi
done
exit $status
