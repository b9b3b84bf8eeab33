#!/usr/bin/env bash
# The core's layers include only downward: platform/ includes nothing above it,
# subset/ only platform/, remap/ only subset/ and platform/, host/ anything below.
# Usage: check_layers.sh SOURCE_ROOT
set -euo pipefail
cd "$1"
allowed() {  # layer -> the folders its files may include from
    case $1 in
        platform) echo "platform" ;;
        subset) echo "platform subset" ;;
        remap) echo "platform subset remap" ;;
        host) echo "platform subset remap host" ;;
    esac
}
status=0
for layer in platform subset remap host; do
    while IFS=: read -r file _ include; do
        target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$include")
        case " $(allowed "$layer") " in
            *" $target "*) ;;
            *) echo "$file includes $target/: upward or sideways" >&2; status=1 ;;
        esac
    done < <(grep -Hn '#include "[^"]*/' "$layer"/*.h "$layer"/*.cpp || true)
done
[ "$status" -eq 0 ] && echo "every include of platform/, subset/, remap/ and host/ runs downward"
exit "$status"
