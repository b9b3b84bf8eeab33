#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing.
# Safe to run again; uses sudo only when not already root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build binutils libgtest-dev libbenchmark-dev
  clang-14 lld-14 llvm-14 libclang-rt-14-dev
  wine64 libunicorn-dev
  python3
)

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
