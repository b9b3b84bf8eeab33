#!/usr/bin/env bash
# Builds AviSynth+ (the real host of the Linux plug-in) from its source archive
# once per machine, into a cache folder keyed by the archive's SHA-256, and
# prints the install prefix (include/avisynth/avisynth.h, lib/libavisynth.so).
# Later runs with the same archive print the cached prefix at once.
#
#   tools/avisynthplus.sh
#
# The archive: $JOBCUT_AVSPLUS_SOURCE when set (a relative name is taken from
# the repository's top, where the test and benchmark commands run), else the
# one AviSynth+ source archive in ../shared/hosts/ beside the repository. A
# `.sha256` file next to it is checked when present. The cache: ${XDG_CACHE_HOME:-$HOME/.cache}/jobcut/.
#
# Exit status: 0 with the prefix on standard output; 3 when there is no archive
# (the reason on standard error); anything else when the archive does not match
# its checksum or the build fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/tools/host_archives.sh"

if [ -n "${JOBCUT_AVSPLUS_SOURCE:-}" ]; then
  archive="$JOBCUT_AVSPLUS_SOURCE"
  case "$archive" in /*) ;; *) archive="$root/$archive" ;; esac
  if [ ! -f "$archive" ]; then
    echo "JOBCUT_AVSPLUS_SOURCE names no file: $archive" >&2
    exit 3
  fi
else
  shopt -s nullglob
  found=("$root"/../shared/hosts/avisynthplus-*.tar.gz)
  shopt -u nullglob
  if [ ${#found[@]} -eq 0 ]; then
    echo "no AviSynth+ source archive: set JOBCUT_AVSPLUS_SOURCE or put it in ../shared/hosts/" >&2
    exit 3
  fi
  if [ ${#found[@]} -gt 1 ]; then
    echo "more than one AviSynth+ source archive in ../shared/hosts/; pick one with JOBCUT_AVSPLUS_SOURCE" >&2
    exit 1
  fi
  archive="${found[0]}"
fi

checksum="$(checked_sha256 "$archive")" || exit 1

# Whatever an interrupted run left is thrown away; the stamp is written only
# after a complete install.
if ! locked_cache_prefix avisynthplus "$checksum"; then
  mkdir -p "$prefix.work/source"
  echo "building AviSynth+ from $(basename "$archive") into $prefix (once per machine)" >&2
  started=$SECONDS
  tar -xzf "$archive" -C "$prefix.work/source" --strip-components=1
  {
    cmake -S "$prefix.work/source" -B "$prefix.work/build" -DCMAKE_BUILD_TYPE=Release -DENABLE_PLUGINS=OFF \
          -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib
    cmake --build "$prefix.work/build" -j2
    cmake --install "$prefix.work/build"
  } > "$prefix.work/log" 2>&1 || {
    tail -n 40 "$prefix.work/log" >&2
    echo "AviSynth+ build failed; the whole log: $prefix.work/log" >&2
    exit 1
  }
  if [ ! -f "$prefix/lib/libavisynth.so" ] || [ ! -f "$prefix/include/avisynth/avisynth.h" ]; then
    echo "AviSynth+ installed no lib/libavisynth.so or include/avisynth/avisynth.h under $prefix" >&2
    exit 1
  fi
  echo "$checksum" > "$stamp"
  rm -rf "$prefix.work"
  echo "AviSynth+ built in $((SECONDS - started)) s" >&2
fi
echo "$prefix"
