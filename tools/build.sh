#!/usr/bin/env bash
# Builds the plug-in for every target and jobcut-inspect for Linux and Windows,
# makes the release package, then shows what the filter makes of the bundled
# example settings file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build
(cd build && cpack --config CPackConfig.cmake >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
cat <<BUILT
Built:
  build/libjobcut.so                               AviSynth+ and VapourSynth on Linux
  build/windows/x86/jobcut.dll                     AviSynth 2.5 / 2.6 and AviSynth+, 32-bit Windows
  build/windows/x64/jobcut.dll                     AviSynth+ and VapourSynth, 64-bit Windows
  build/tools/jobcut-inspect                       the settings-file inspector, Linux
  build/windows/windows-x64/jobcut-inspect.exe     the settings-file inspector, 64-bit Windows
Release package: build/jobcut-$version.zip

BUILT
build/tools/jobcut-inspect --frames 36000 examples/cuts.vcf --svg build/cuts-timeline.svg
echo "Timeline picture: build/cuts-timeline.svg"
