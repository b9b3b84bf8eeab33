#!/usr/bin/env bash
# Builds the plug-in for every target, runs it the way a host does over the
# scenario list, then shows what it makes of the bundled example settings file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
echo "Linux plug-in: build/libjobcut.so"
./build/tests/linux_host/linux_scenarios build/libjobcut.so tests/scenarios/host_scenarios.txt
echo
build/tools/jobcut-inspect --frames 36000 examples/cuts.vcf --svg build/cuts-timeline.svg
echo "Timeline picture: build/cuts-timeline.svg"
