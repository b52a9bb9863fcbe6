#!/bin/sh
# Builds the benchmarks in a Release tree (build-bench/) and runs them.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKIV_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target corvane_bench
exec build-bench/bin/corvane_bench "$@"
