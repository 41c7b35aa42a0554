#!/usr/bin/env bash
# Builds Wendrix in release mode, measures it on generated sources and records the figures in
# docs/performance.md.
#   bench/run.sh                   this checkout
#   bench/run.sh --baseline REV    also builds revision REV and measures both side by side
#   bench/run.sh --micro           also runs the Google Benchmark micro-benchmarks
set -euo pipefail
cd "$(dirname "$0")/.."
micro=OFF
baseline=""
while [ $# -gt 0 ]; do
  case "$1" in
    --micro) micro=ON ;;
    --baseline) baseline="$2"; shift ;;
    *) echo "usage: bench/run.sh [--baseline REV] [--micro]" >&2; exit 2 ;;
  esac
  shift
done
# Google Benchmark is needed for the micro-benchmarks only.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DWENDRIX_TESTS=OFF -DWENDRIX_BENCH=$micro >/dev/null
cmake --build build-release -j2
args=()
if [ -n "$baseline" ]; then
  rm -rf build-baseline
  mkdir -p build-baseline/src
  git archive "$baseline" | tar -x -C build-baseline/src
  cmake -S build-baseline/src -B build-baseline/build -DCMAKE_BUILD_TYPE=Release \
    -DWENDRIX_TESTS=OFF >/dev/null
  cmake --build build-baseline/build -j2 --target wendrix
  args=(--baseline build-baseline/build/wendrix)
fi
python3 bench/measure.py build-release/wendrix "${args[@]}" --doc docs/performance.md
if [ "$micro" = ON ]; then
  build-release/wendrix_bench
fi
