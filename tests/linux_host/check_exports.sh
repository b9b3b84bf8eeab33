#!/usr/bin/env bash
# The host libraries export classes named like ours: the plug-in must define and
# export nothing but its two entries (AviSynth's and VapourSynth's), or its
# vtables bind to the host's.
set -euo pipefail
defined=$(nm -D --defined-only "$1" | awk '{print $3}' | sort)
if [ "$defined" != "$(printf 'AvisynthPluginInit2\nVapourSynthPluginInit2')" ]; then
  echo "exported symbols of $1:" >&2
  echo "$defined" >&2
  exit 1
fi
for name in avisynth_c_plugin_init avisynth_c_plugin_init2 AvisynthPluginInit3; do
  if nm -D "$1" | grep -qw "$name"; then echo "$1 must not export $name" >&2; exit 1; fi
done
echo "only AvisynthPluginInit2 and VapourSynthPluginInit2 are exported"
