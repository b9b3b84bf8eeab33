#!/usr/bin/env bash
# Builds the VapourSynth core for 64-bit Windows (the host most VapourSynth
# users run the x64 DLL in) from its source archives once per machine, with
# MinGW-w64's posix-threads compilers: zimg and the core as static libraries,
# linked into one libvapoursynth.dll with its import library. Installs into a
# cache folder keyed by the two archives' SHA-256 and the recipe below, and
# prints the prefix (include/vapoursynth/VapourSynth4.h, bin/libvapoursynth.dll,
# lib/libvapoursynth.dll.a). Later runs with the same archives print the cached
# prefix at once.
#
#   tools/vapoursynth_windows.sh
#
# The archives: $JOBCUT_VS_SOURCES when set (a folder, relative names taken
# from the repository's top), else ../shared/hosts/ beside the repository:
# vapoursynth-*.tar.gz and zimg-*.tar.gz, each checked against the `.sha256`
# file next to it when present. The cache: ${XDG_CACHE_HOME:-$HOME/.cache}/jobcut/.
#
# Exit status: 0 with the prefix on standard output; 3 when an archive or the
# cross compiler is missing (the reason on standard error); anything else when
# an archive does not match its checksum or the build fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/tools/host_archives.sh"

# Changed whenever the steps below change, so that an older build is redone.
recipe=windows-x64-1

folder="${JOBCUT_VS_SOURCES:-$root/../shared/hosts}"
case "$folder" in /*) ;; *) folder="$root/$folder" ;; esac
vs="$(find_host_archive "$folder" vapoursynth VapourSynth)" || exit $?
zimg="$(find_host_archive "$folder" zimg zimg)" || exit $?
triple=x86_64-w64-mingw32
for tool in $triple-gcc-posix $triple-g++-posix $triple-ar; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool not found (Debian: g++-mingw-w64-x86-64-posix; run tools/bootstrap.sh test)" >&2
    exit 3
  fi
done
key="$( (checked_sha256 "$vs" && checked_sha256 "$zimg" && echo "$recipe") | sha256sum | cut -c1-32)" || exit 1

cache="${XDG_CACHE_HOME:-$HOME/.cache}/jobcut"
prefix="$cache/vapoursynth-win64-$key"
stamp="$prefix/.installed"
mkdir -p "$cache"
exec 9>"$prefix.lock"
flock 9

if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$key" ]; then
  rm -rf "$prefix" "$prefix.work"
  work="$prefix.work"
  static="$work/static"
  mkdir -p "$work/zimg" "$work/vs" "$static" "$prefix/bin" "$prefix/lib"
  echo "building the Windows x64 VapourSynth core from $(basename "$vs") into $prefix (once per machine)" >&2
  started=$SECONDS
  tar -xzf "$zimg" -C "$work/zimg" --strip-components=1
  tar -xzf "$vs" -C "$work/vs" --strip-components=1
  # GNU ld for PE places jitasm's weak objects over the C runtime's own data,
  # and every worker thread then crashes as it exits: make them ordinary.
  jitasm="$work/vs/src/core/expr/jitasm.h"
  grep -q 'define JITASM_ATTRIBUTE_WEAK __attribute__((weak))' "$jitasm" || {
    echo "$jitasm does not define JITASM_ATTRIBUTE_WEAK as this script expects" >&2
    exit 1
  }
  sed -i 's/define JITASM_ATTRIBUTE_WEAK __attribute__((weak))/define JITASM_ATTRIBUTE_WEAK/' "$jitasm"
  cross=(--host=$triple CC=$triple-gcc-posix CXX=$triple-g++-posix --disable-shared --enable-static)
  {
    (cd "$work/zimg" && ./autogen.sh && ./configure --prefix="$static" "${cross[@]}" &&
       make -j2 && make install)
    # libtool's shared build compiles with -DDLL_EXPORT, which makes the
    # pthread header declare its functions dllimport: the core is built
    # static and linked into a DLL below instead.
    (cd "$work/vs" && ./autogen.sh &&
       PKG_CONFIG_LIBDIR="$static/lib/pkgconfig" ./configure --prefix="$static" "${cross[@]}" \
         --disable-vsscript --disable-vspipe --disable-python-module && make -j2 && make install)
    (cd "$prefix/bin" &&
       $triple-g++-posix -shared -o libvapoursynth.dll \
         -Wl,--whole-archive "$static/lib/libvapoursynth.a" -Wl,--no-whole-archive "$static/lib/libzimg.a" \
         -static -ladvapi32 -lshell32 -Wl,--out-implib,"$prefix/lib/libvapoursynth.dll.a")
  } > "$work/log" 2>&1 || {
    tail -n 40 "$work/log" >&2
    echo "Windows VapourSynth build failed; the whole log: $work/log" >&2
    exit 1
  }
  mkdir -p "$prefix/include"
  cp -r "$static/include/vapoursynth" "$prefix/include/"
  if [ ! -f "$prefix/bin/libvapoursynth.dll" ] || [ ! -f "$prefix/lib/libvapoursynth.dll.a" ] ||
     [ ! -f "$prefix/include/vapoursynth/VapourSynth4.h" ]; then
    echo "the Windows VapourSynth build left no bin/libvapoursynth.dll, lib/libvapoursynth.dll.a or VapourSynth4.h under $prefix" >&2
    exit 1
  fi
  echo "$key" > "$stamp"
  rm -rf "$work"
  echo "Windows x64 VapourSynth built in $((SECONDS - started)) s" >&2
fi
echo "$prefix"
