#!/usr/bin/env bash
# Builds everything and runs every test: unit tests, the Linux plug-in driven as
# its host drives it, and the Windows DLLs under wine64 and CPU emulation.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
      -DJOBCUT_WERROR="${JOBCUT_WERROR:-OFF}"
cmake --build build
ctest --test-dir build --output-on-failure -j2
