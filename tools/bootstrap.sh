#!/usr/bin/env bash
# Installs the Debian packages a job needs, when missing. Safe to run again;
# uses sudo only when not already root.
#   tools/bootstrap.sh build   what building the product and its package needs
#   tools/bootstrap.sh test    that, and the tools the tests, benchmarks and fuzzing run
set -euo pipefail

build=(
  build-essential cmake ninja-build
  clang-14 lld-14 llvm-14 llvm      # the Windows DLLs and their version resource (llvm-rc)
  g++-mingw-w64-x86-64              # jobcut-inspect.exe for 64-bit Windows
)
test=(
  libgtest-dev libbenchmark-dev libclang-rt-14-dev python3 valgrind
  wine64 libunicorn-dev             # the Windows binaries run under wine64 and CPU emulation
  ffmpeg x264                       # the inspector's exports rendered and encoded
  chromium                          # the inspector's pictures and report rendered
  autoconf automake libtool pkg-config python3-dev   # VapourSynth, its Python module and vspipe, built from source
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix  # VapourSynth for Windows x64 and its test programs
)

case "${1:-}" in
  build) packages=("${build[@]}") ;;
  test) packages=("${build[@]}" "${test[@]}") ;;
  *) echo "usage: tools/bootstrap.sh build|test" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
