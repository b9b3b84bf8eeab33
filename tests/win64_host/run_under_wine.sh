#!/usr/bin/env bash
# Runs the x64 test host under wine64 with a throw-away prefix and working
# folder, and passes its transcript and exit status on.
# Usage: run_under_wine.sh WINE64 HOST_EXE DLL SCENARIOS
set -euo pipefail
loader=$1
host=$2
dll=$3
scenarios=$4

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

mkdir "$root/work"
cd "$root/work"
# The first program of a new prefix creates it and starts wine's services,
# which inherit its standard output: make that run one whose output nobody
# waits on (the host without arguments only prints its usage).
"$loader" "$(windows_path "$host")" >/dev/null 2>&1 </dev/null || true
"$loader" "$(windows_path "$host")" "$(windows_path "$dll")" "$(windows_path "$scenarios")" </dev/null
