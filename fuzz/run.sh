#!/usr/bin/env bash
# Builds the fuzz targets and runs each for SECONDS seconds from its seeds.
# Fails, with the report, on any finding; the input that caused it is kept
# under build-fuzz/findings/.
#   bash fuzz/run.sh SECONDS
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:?usage: fuzz/run.sh SECONDS}"
out="$root/build-fuzz"

bash "$root/tools/bootstrap.sh" test
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJOBCUT_FUZZ=ON -DJOBCUT_WINDOWS=OFF \
      -DJOBCUT_WERROR="${JOBCUT_WERROR:-OFF}" >/dev/null
cmake --build "$out" --target reader_fuzzer filter_fuzzer make_seeds
out_bin="$out/fuzz"

# Every input is written as a real settings file: keep that off the disk where memory can hold it.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

# Settings files to start from: the tests' files, the edge cases kept here and,
# when the shared corpus sits beside the repository, real ones.
settings=("$root/tests/data" "$root/fuzz/seeds")
if [ -d "$root/../shared/corpus/real" ]; then settings+=("$root/../shared/corpus/real"); fi

rm -rf "$out/seeds" "$out/corpus" "$out/findings"
mkdir -p "$out/seeds/settings" "$out/seeds/filter" "$out/corpus/reader" "$out/corpus/filter" "$out/findings"
mapfile -t files < <(find "${settings[@]}" -type f | sort)
"$out_bin/make_seeds" "$out/seeds/settings" "$out/seeds/filter" "${files[@]}"

# Inputs reach 1 KB past the largest settings file the reader accepts.
options=(-max_total_time="$seconds" -max_len=132096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
         -artifact_prefix="$out/findings/")

# Inputs that once crashed or hung a target, each kept under fuzz/regressions/<target>/.
replay() {  # target
    local target=$1
    local kept=("$root/fuzz/regressions/${target%_fuzzer}"/*)
    [ -e "${kept[0]}" ] || return 0
    echo "$target: replaying ${#kept[@]} past findings"
    "$out_bin/$target" -timeout=10 -rss_limit_mb=2048 "${kept[@]}" >"$out/$target.replay.log" 2>&1 ||
        { tail -n 60 "$out/$target.replay.log"; return 1; }
}

fuzz() {  # target, corpus folders (new inputs go to the first)
    local target=$1
    shift
    echo "$target: ${seconds}s"
    if ! "$out_bin/$target" "${options[@]}" "$@" >"$out/$target.log" 2>&1; then
        tail -n 60 "$out/$target.log"
        echo "$target: finding kept under $out/findings/" >&2
        return 1
    fi
    grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb))' "$out/$target.log"
}

replay reader_fuzzer
replay filter_fuzzer
fuzz reader_fuzzer "$out/corpus/reader" "$out/seeds/settings" "${settings[@]}"
fuzz filter_fuzzer "$out/corpus/filter" "$out/seeds/filter"
