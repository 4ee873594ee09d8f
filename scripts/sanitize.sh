#!/usr/bin/env bash
# Builds the whole test suite with clang under a sanitizer and runs it.
#
#   scripts/sanitize.sh [address|thread|all] [ctest arguments...]
#
# address: AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
# thread:  ThreadSanitizer, in build-tsan/
# all:     both, one after the other (the default)
#
# Window tests run offscreen. Reports from inside Qt's own thread pools are suppressed
# through tests/tsan.supp (Qt libraries only); every other report fails the test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

which=${1:-all}
if (($#)); then shift; fi
case "$which" in
  address | thread) kinds=("$which") ;;
  all) kinds=(address thread) ;;
  *)
    echo "usage: scripts/sanitize.sh [address|thread|all] [ctest arguments...]" >&2
    exit 2
    ;;
esac

"$root/scripts/setup.sh"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# A sanitizer report ends the test with a failure; halt_on_error keeps the first report
# readable instead of burying it under follow-ups.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export TSAN_OPTIONS=${TSAN_OPTIONS:-suppressions=$root/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1:print_suppressions=0}

status=0
for kind in "${kinds[@]}"; do
  case "$kind" in
    address) dir=build-asan ;;
    thread) dir=build-tsan ;;
  esac
  echo "== sanitize: $kind in $dir"
  start=$SECONDS
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -G Ninja \
      -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMT_SANITIZE="$kind" \
      -DCMT_BUILD_TESTS=ON -DCMT_BUILD_BENCH=OFF
  fi
  cmake --build "$dir" -j"$jobs"
  built=$SECONDS
  if ! (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@"); then
    status=1
  fi
  echo "== sanitize: $kind: build $((built - start)) s, tests $((SECONDS - built)) s"
done
exit $status
