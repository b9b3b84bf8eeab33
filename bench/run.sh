#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; they end with each figure as
# a ratio to its baseline. Options are passed on (e.g. --benchmark_filter=GetAudio).
#   bash bench/run.sh               the plug-in's calls, in process
#   bash bench/run.sh --real-host   in AviSynth+ itself (built once per machine by
#                                   tools/avisynthplus.sh): Jobcut against the
#                                   Trim++ chain and the bare source
#   bash bench/run.sh --vapoursynth in VapourSynth (built once per machine by
#                                   tools/vapoursynth.sh): Jobcut against
#                                   std.Splice of std.Trim slices and the bare source
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh test
target=jobcut_bench
prefix=""
vs_prefix=""
options=()
# Repetitions of all benchmarks in a random order, so that a busy spell of
# the machine does not fall on one variant alone.
interleaved=(--benchmark_enable_random_interleaving=true)
if [ "${1:-}" = --real-host ]; then
  shift
  target=jobcut_real_host_bench
  prefix="$(bash tools/avisynthplus.sh)"
  options=("${interleaved[@]}")
elif [ "${1:-}" = --vapoursynth ]; then
  shift
  target=jobcut_vapoursynth_bench
  vs_prefix="$(bash tools/vapoursynth.sh)"
  options=("${interleaved[@]}")
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DJOBCUT_BENCH=ON -DJOBCUT_WINDOWS=OFF \
      -DJOBCUT_AVSPLUS_PREFIX="$prefix" -DJOBCUT_VS_PREFIX="$vs_prefix" >/dev/null
cmake --build build-bench -j 2 --target "$target"
echo "$(date -u +%F), machine: $(nproc) cores,$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
./build-bench/bench/"$target" "${options[@]}" "$@"
