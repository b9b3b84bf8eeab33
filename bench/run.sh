#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; they end with each figure as
# a ratio to its baseline. Options are passed on (e.g. --benchmark_filter=GetAudio).
#   bash bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh test
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DJOBCUT_BENCH=ON -DJOBCUT_WINDOWS=OFF >/dev/null
cmake --build build-bench --target jobcut_bench
echo "machine: $(nproc) cores,$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
./build-bench/bench/jobcut_bench "$@"
