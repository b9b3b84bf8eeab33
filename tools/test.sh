#!/usr/bin/env bash
# Builds everything and runs every test: unit tests, the Linux plug-in driven as
# its host drives it and in AviSynth+ itself, and the Windows DLLs under wine64
# and CPU emulation, and in VapourSynth (on Linux, and the x64 DLL in its
# Windows build under wine64). The real hosts are built once per machine
# (tools/avisynthplus.sh, tools/vapoursynth.sh, tools/vapoursynth_windows.sh);
# without a host's source archive its tests are reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh test
# host_prefix SCRIPT VARIABLE: runs a host's build script (tools/SCRIPT); sets
# VARIABLE_prefix to the prefix it prints, or, when its source archive is not
# there (exit 3), VARIABLE_missing to the reason, for the skipped tests.
host_prefix() {
  local status=0 prefix="" missing=""
  prefix="$(bash "tools/$1")" || status=$?
  if [ "$status" -eq 3 ]; then
    # Asked again for the reason alone (it gives it at once).
    missing="$(bash "tools/$1" 2>&1 >/dev/null || true)"
    echo "tests of $2 will be skipped: $missing"
  elif [ "$status" -ne 0 ]; then
    exit "$status"
  fi
  printf -v "${2}_prefix" '%s' "$prefix"
  printf -v "${2}_missing" '%s' "$missing"
}
host_prefix avisynthplus.sh avsplus
host_prefix vapoursynth.sh vs
host_prefix vapoursynth_windows.sh vs_windows
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
      -DJOBCUT_WERROR="${JOBCUT_WERROR:-OFF}" \
      -DJOBCUT_AVSPLUS_PREFIX="$avsplus_prefix" -DJOBCUT_AVSPLUS_MISSING="$avsplus_missing" \
      -DJOBCUT_VS_PREFIX="$vs_prefix" -DJOBCUT_VS_MISSING="$vs_missing" \
      -DJOBCUT_VS_WINDOWS_PREFIX="$vs_windows_prefix" -DJOBCUT_VS_WINDOWS_MISSING="$vs_windows_missing"
cmake --build build
ctest --test-dir build --output-on-failure -j2
if [ -n "$avsplus_missing" ]; then echo "AviSynth+ tests skipped: $avsplus_missing"; fi
if [ -n "$vs_missing" ]; then echo "VapourSynth tests skipped: $vs_missing"; fi
if [ -n "$vs_windows_missing" ]; then echo "Windows VapourSynth tests skipped: $vs_windows_missing"; fi
