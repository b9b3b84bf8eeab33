#!/usr/bin/env bash
# The core's layers include only downward: platform/ includes nothing above it,
# subset/ only platform/, remap/ only subset/ and platform/, and each host's
# binding in host/NAME/ anything below and its own folder, never another host's.
# Usage: check_layers.sh SOURCE_ROOT
set -euo pipefail
cd "$1"
allowed() {  # layer -> the folders its files may include from
    case $1 in
        platform) echo "platform" ;;
        subset) echo "platform subset" ;;
        remap) echo "platform subset remap" ;;
        host/*) echo "platform subset remap $1" ;;
    esac
}
# The folder an include names: its first part, or its first two under host/.
included_folder() { sed -E 's/.*#include "(host\/[^/"]+|[^/"]+)\/.*/\1/' <<<"$1"; }
status=0
layers=(platform subset remap)
for folder in host/*/; do layers+=("${folder%/}"); done
for layer in "${layers[@]}"; do
    while IFS=: read -r file _ include; do
        target=$(included_folder "$include")
        case " $(allowed "$layer") " in
            *" $target "*) ;;
            *) echo "$file includes $target/: upward or sideways" >&2; status=1 ;;
        esac
    done < <(grep -Hn '#include "[^"]*/' "$layer"/*.h "$layer"/*.cpp || true)
done
[ "$status" -eq 0 ] && echo "every include of ${layers[*]} runs downward"
exit "$status"
