#!/usr/bin/env bash
# Builds Wendrix in release mode, times it on a ladder of generated sources and records the
# figures in docs/performance.md; with --micro, also runs the Google Benchmark micro-benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
# Google Benchmark is needed for the micro-benchmarks only.
micro=OFF
if [ "${1:-}" = "--micro" ]; then micro=ON; fi
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DWENDRIX_TESTS=OFF -DWENDRIX_BENCH=$micro >/dev/null
cmake --build build-release -j2
python3 bench/measure.py build-release/wendrix --doc docs/performance.md
if [ "${1:-}" = "--micro" ]; then
  build-release/wendrix_bench
fi
