#!/usr/bin/env bash
# Builds VapourSynth (the second real host of the Linux plug-in) from its
# source archives once per machine: zimg, which its core needs, the core, the
# Python module, VSScript and vspipe (its Python module compiled with the
# Cython shipped beside it). Installs into a cache folder keyed by the three
# archives' SHA-256 and prints the prefix (include/vapoursynth/VapourSynth4.h,
# lib/libvapoursynth.so, bin/vspipe, lib/python3*/site-packages). Later runs
# with the same archives print the cached prefix at once.
#
#   tools/vapoursynth.sh
#
# The archives: $JOBCUT_VS_SOURCES when set (a folder, relative names taken
# from the repository's top), else ../shared/hosts/ beside the repository:
# vapoursynth-*.tar.gz, zimg-*.tar.gz and cython-*.tar.gz, each checked
# against the `.sha256` file next to it when present. The cache:
# ${XDG_CACHE_HOME:-$HOME/.cache}/jobcut/.
#
# Exit status: 0 with the prefix on standard output; 3 when an archive is
# missing (the reason on standard error); anything else when an archive does
# not match its checksum or the build fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/tools/host_archives.sh"

folder="${JOBCUT_VS_SOURCES:-$root/../shared/hosts}"
case "$folder" in /*) ;; *) folder="$root/$folder" ;; esac
vs="$(find_host_archive "$folder" vapoursynth VapourSynth)" || exit $?
zimg="$(find_host_archive "$folder" zimg zimg)" || exit $?
cython="$(find_host_archive "$folder" cython Cython)" || exit $?
key="$( (checked_sha256 "$vs" && checked_sha256 "$zimg" && checked_sha256 "$cython") | sha256sum | cut -c1-32)" || exit 1

if ! locked_cache_prefix vapoursynth "$key"; then
  work="$prefix.work"
  mkdir -p "$work/zimg" "$work/vs" "$work/cython"
  echo "building VapourSynth from $(basename "$vs") into $prefix (once per machine)" >&2
  started=$SECONDS
  tar -xzf "$zimg" -C "$work/zimg" --strip-components=1
  tar -xzf "$vs" -C "$work/vs" --strip-components=1
  tar -xzf "$cython" -C "$work/cython" --strip-components=1
  printf '#!/bin/sh\nexec /usr/bin/python3 "%s/cython/cython.py" "$@"\n' "$work" > "$work/cython3"
  chmod +x "$work/cython3"
  {
    (cd "$work/zimg" && ./autogen.sh && ./configure --prefix="$prefix" --disable-shared --with-pic &&
       make -j2 && make install)
    (cd "$work/vs" && ./autogen.sh &&
       PKG_CONFIG_PATH="$prefix/lib/pkgconfig" ./configure --prefix="$prefix" \
         PYTHON=/usr/bin/python3 CYTHON="$work/cython3" && make -j2 && make install)
  } > "$work/log" 2>&1 || {
    tail -n 40 "$work/log" >&2
    echo "VapourSynth build failed; the whole log: $work/log" >&2
    exit 1
  }
  site="$(ls -d "$prefix"/lib/python3*/site-packages 2>/dev/null | head -n1)"
  if [ ! -f "$prefix/lib/libvapoursynth.so" ] || [ ! -f "$prefix/include/vapoursynth/VapourSynth4.h" ] ||
     [ ! -x "$prefix/bin/vspipe" ] || [ -z "$site" ]; then
    echo "VapourSynth installed no lib/libvapoursynth.so, VapourSynth4.h, bin/vspipe or Python module under $prefix" >&2
    exit 1
  fi
  echo "$key" > "$stamp"
  rm -rf "$work"
  echo "VapourSynth built in $((SECONDS - started)) s" >&2
fi
echo "$prefix"
