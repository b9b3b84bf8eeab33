#!/usr/bin/env bash
# Runs one host driver over the scenario list and compares its transcript with
# the list itself (less comments and blank lines).
# Usage: check_transcript.sh SCENARIOS DRIVER [ARGS...]   (the list's path is appended to the driver's arguments)
set -euo pipefail
scenarios=$1
shift
expected=$(mktemp)
actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
# -a: the list holds file names that are not UTF-8, byte for byte.
LC_ALL=C grep -a -v -e '^#' -e '^[[:space:]]*$' "$scenarios" > "$expected"
status=0
"$@" "$scenarios" > "$actual" || status=$?
if ! diff -u "$expected" "$actual"; then
  echo "transcript differs from $(basename "$scenarios")" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "driver exited with status $status" >&2
  exit 1
fi
echo "transcript matches: $(LC_ALL=C grep -a -c -v '^  ' "$expected") actions"
