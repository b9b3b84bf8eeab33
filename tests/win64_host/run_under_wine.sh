#!/usr/bin/env bash
# Runs the x64 test host under wine64 with a throw-away prefix and working
# folder, and passes its transcript and exit status on.
# Usage: run_under_wine.sh WINE64 HOST_EXE DLL SCENARIOS
set -euo pipefail
loader=$1
host=$2
dll=$3
scenarios=$4

. "$(dirname "$0")/../wine_prefix.sh"

mkdir "$root/work"
cd "$root/work"
# The first program of a new prefix creates it and starts wine's services,
# which inherit its standard output: make that run one whose output nobody
# waits on (the host without arguments only prints its usage).
"$loader" "$(windows_path "$host")" >/dev/null 2>&1 </dev/null || true
"$loader" "$(windows_path "$host")" "$(windows_path "$dll")" "$(windows_path "$scenarios")" </dev/null
