#!/usr/bin/env bash
# Runs a Windows test program of VapourSynth under wine64, as a Windows user's
# machine has it: the program beside the core's DLL in a folder of their own,
# each plug-in DLL named on the command line copied alone into a folder of its
# own and passed by its Z:\ path (so a plug-in that needs a MinGW runtime DLL
# fails to load, as it does for the user), other paths passed as Z:\ paths.
# A throw-away prefix and working folder; the program's output and exit status
# are passed on.
# Usage: run_under_wine.sh WINE64 LIBVAPOURSYNTH_DLL PROGRAM [ARGUMENT...]
set -euo pipefail
loader=$1
core=$2
program=$3
shift 3

root=$(mktemp -d)
export WINEPREFIX=$root/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$loader
cleanup() {
  "$(dirname "$loader")/wineserver" -k 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

windows_path() {
  local path
  path=$(realpath "$1")
  printf 'Z:%s' "${path//\//\\}"
}

mkdir "$root/app" "$root/work"
cp "$program" "$core" "$root/app/"
program="$root/app/$(basename "$program")"
arguments=()
plugins=0
for argument in "$@"; do
  if [[ "$argument" == *.dll ]]; then
    plugins=$((plugins + 1))
    mkdir "$root/plugin$plugins"
    cp "$argument" "$root/plugin$plugins/"
    argument="$root/plugin$plugins/$(basename "$argument")"
  fi
  if [ -e "$argument" ]; then argument=$(windows_path "$argument"); fi
  arguments+=("$argument")
done

cd "$root/work"
# The first program of a new prefix creates it and starts wine's services,
# which inherit its standard output: make that run one whose output nobody
# waits on (the program without arguments only prints its usage).
"$loader" "$(windows_path "$program")" >/dev/null 2>&1 </dev/null || true
"$loader" "$(windows_path "$program")" "${arguments[@]}" </dev/null
