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
bash scripts/ensure_packages.sh cmake make clang libclang-rt-dev

seconds="${FUZZ_SECONDS:-60}"
build=build-fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(leading_number settings_roundtrip)
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLYFORGE_FUZZ=ON -DTALLYFORGE_BUILD_APP=OFF -DTALLYFORGE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzz}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  echo "== $t: ${seconds} s"
  log="$build/findings/$t/last-run.log"
  if "$build/fuzz/${t}_fuzz" "$build/corpus/$t" "fuzz/corpus/$t" -max_total_time="$seconds" \
    -max_len=1024 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
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
