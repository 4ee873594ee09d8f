#!/usr/bin/env bash
# Builds the Release tree and runs every benchmark (each program named bench_* in its bench
# folder), one after the other, then prints one table of their results with the machine they
# ran on. Extra arguments are passed to every benchmark.
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
# Lines a benchmark prints as "RESULT<TAB>figure<TAB>value<TAB>reference<TAB>ratio<TAB>goal<TAB>
# pass|FAIL" go into the one table printed at the end; everything else is shown as it comes.
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for bench in "$build"/bench/bench_*; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  found=1
  echo "== $(basename "$bench")"
  if ! QT_QPA_PLATFORM=offscreen "$bench" "$@" 2> >(grep -v -e XDG_RUNTIME_DIR -e 'does not support raise' >&2) |
    while IFS= read -r line; do
      case "$line" in
        RESULT$'\t'*) printf '%s\n' "$line" >>"$results" ;;
        *) printf '%s\n' "$line" ;;
      esac
    done; then
    echo "$(basename "$bench") failed" >&2
    status=1
  fi
done
if [ "$found" -eq 0 ]; then
  echo "no benchmark found in $build/bench" >&2
  exit 1
fi

echo
echo "Benchmarks on $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), $(date -u '+%Y-%m-%d %H:%M UTC')"
{
  printf 'figure\tvalue\treference\tratio\tgoal\tresult\n'
  cut -f2- "$results"
} | awk -F'\t' '
  { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } rows = NR; cols = NF > cols ? NF : cols }
  END {
    for (r = 1; r <= rows; r++) {
      line = "|"
      for (i = 1; i <= cols; i++) line = line " " sprintf("%-" width[i] "s", cell[r, i]) " |"
      print line
      if (r == 1) { line = "|"; for (i = 1; i <= cols; i++) { dash = ""; for (k = 0; k < width[i] + 2; k++) dash = dash "-"; line = line dash "|" } print line }
    }
  }'
if grep -q $'\tFAIL$' "$results"; then
  echo "goals missed: $(grep -c $'\tFAIL$' "$results")"
fi
exit "$status"
