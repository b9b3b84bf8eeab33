#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, straight from the plug-in's sources, and the
# program that writes their seeds (from the same objects, without libFuzzer).
#   fuzz/build.sh OUT_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mkdir -p "$1" && cd "$1" && pwd)"
cxx=clang++-14

common=(-std=c++17 -g -O1 -fno-omit-frame-pointer -Wall -Wextra -Werror -I"$root"
        -DJOBCUT_TEST_DATA="\"$root/tests/data\"")
sanitize=(-fsanitize=address,undefined -fno-sanitize-recover=all)

core=(subset/subset_reader.cpp subset/platform_posix.cpp subset/memory_posix.cpp
      remap/jobcut_filter.cpp remap/frame_mapping.cpp remap/audio_assembly.cpp
      remap/samples_from_frames.cpp remap/error_message.cpp host/plugin_entry.cpp
      tools/inprocess_host/inprocess_host.cpp tests/unit/test_files.cpp
      fuzz/filter_input.cpp fuzz/expected_clip.cpp)

compile() {  # source, object, extra flags...
    "$cxx" "${common[@]}" "${@:3}" -c "$root/$1" -o "$2"
}

mkdir -p "$out/obj"
pids=()
for source in "${core[@]}" fuzz/reader_fuzzer.cpp fuzz/filter_fuzzer.cpp fuzz/make_seeds.cpp \
              tools/settings_text/settings_text.cpp; do
    compile "$source" "$out/obj/$(basename "$source" .cpp).o" "${sanitize[@]}" -fsanitize=fuzzer-no-link &
    pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

objects=()
for source in "${core[@]}"; do objects+=("$out/obj/$(basename "$source" .cpp).o"); done
"$cxx" "${sanitize[@]}" -fsanitize=fuzzer "$out/obj/reader_fuzzer.o" "${objects[@]}" -o "$out/reader_fuzzer"
"$cxx" "${sanitize[@]}" -fsanitize=fuzzer "$out/obj/filter_fuzzer.o" "${objects[@]}" -o "$out/filter_fuzzer"

"$cxx" "${sanitize[@]}" "$out/obj/make_seeds.o" "$out/obj/settings_text.o" "${objects[@]}" -o "$out/make_seeds"
