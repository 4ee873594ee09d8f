#!/usr/bin/env bash
# Builds the Release tree and runs every benchmark (each program named bench_* in its bench
# folder), one after the other. Extra arguments are passed to every benchmark.
# CMT_BUILD_DIR chooses another build folder (default: build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CMT_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j"$(nproc)"

status=0
found=0
for bench in "$build"/bench/bench_*; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  found=1
  echo "== $(basename "$bench")"
  if ! QT_QPA_PLATFORM=offscreen "$bench" "$@"; then
    echo "$(basename "$bench") failed" >&2
    status=1
  fi
done
if [ "$found" -eq 0 ]; then
  echo "no benchmark found in $build/bench" >&2
  exit 1
fi
exit "$status"
