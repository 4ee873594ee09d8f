#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan+UBSan (build-fuzz/) and runs each for
# the given number of seconds (default 60), one after the other.
#
#   scripts/fuzz.sh [seconds] [target...]      targets: receiver answer request_parser
#
# Each target starts from its committed seed inputs (fuzz/corpus/<target>/) and keeps what
# it finds in build-fuzz/corpus/<target>/, which later runs go on from. A crash leaves its
# input as build-fuzz/crash-<target>-*; replay it with build-fuzz/fuzz/fuzz_<target> FILE.
# To fold new finds into the seed inputs:
#   build-fuzz/fuzz/fuzz_<target> -merge=1 fuzz/corpus/<target> build-fuzz/corpus/<target>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=${1:-60}
if (($#)); then shift; fi
targets=("$@")
if ((${#targets[@]} == 0)); then targets=(receiver answer request_parser); fi

"$root/scripts/setup.sh"
build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMT_SANITIZE=address -DCMT_FUZZ=ON -DCMT_BUILD_TESTS=ON -DCMT_BUILD_BENCH=OFF
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Process-lifetime caches of the libraries below Qt are not leaks of ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}

status=0
summary=()
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$build/fuzz-$target.log
  echo "== fuzz: $target for $seconds s"
  if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/crash-$target-" \
    "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 40 "$log" >&2
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  summary+=("$(printf '%-16s %-7s %12s %9s %11s' "$target" "$result" "${runs:-?}" "$files" "$bytes")")
done

echo
printf '%-16s %-7s %12s %9s %11s\n' target result executions "corpus" "corpus B"
printf '%s\n' "${summary[@]}"
exit $status
