#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang and runs them.
#   scripts/fuzz.sh --short              replay fuzz/corpus/<target>, then fuzz each target
#                                        briefly (KVX_FUZZ_SECONDS, default 20 s)
#   scripts/fuzz.sh --campaign [SECONDS] fuzz every target at once for SECONDS (default 1800),
#                                        then minimise what was found into fuzz/corpus/<target>;
#                                        logs and statistics in build/fuzz-campaign/<target>.log
#   scripts/fuzz.sh TARGET SECONDS       fuzz one target, growing fuzz/corpus/<target>
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
CC=clang CXX=clang++ cmake -S fuzz -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build $build -j "$(nproc)" >/dev/null
mapfile -t targets < <(find $build -maxdepth 1 -type f -name '*_fuzz' -perm -u+x -printf '%f\n' | sort)
[ ${#targets[@]} -eq 0 ] && { echo "no fuzz targets yet"; exit 0; }
mkdir -p build/fuzz-artifacts
artifacts=-artifact_prefix=build/fuzz-artifacts/

case "${1:-}" in
--short)
    for t in "${targets[@]}"; do
        mkdir -p "fuzz/corpus/$t" "build/fuzz-work/$t"
        echo "--- $t: corpus replay"
        # Every kept input must still run clean before any new input is tried.
        $build/$t -runs=0 $artifacts "fuzz/corpus/$t" 2>&1 | tail -n 1
        echo "--- $t: fuzzing"
        $build/$t -max_total_time="${KVX_FUZZ_SECONDS:-20}" $artifacts \
            "build/fuzz-work/$t" "fuzz/corpus/$t" 2>&1 | tail -n 3
    done
    ;;
--campaign)
    secs=${2:-1800}
    out=build/fuzz-campaign
    mkdir -p $out
    pids=()
    for t in "${targets[@]}"; do
        rm -rf "${out:?}/$t" && mkdir -p "$out/$t"
        echo "--- $t: fuzzing for $secs s (log $out/$t.log)"
        $build/$t -max_total_time="$secs" -print_final_stats=1 $artifacts \
            "$out/$t" "fuzz/corpus/$t" >"$out/$t.log" 2>&1 &
        pids+=($!)
    done
    status=0
    for p in "${pids[@]}"; do wait "$p" || status=1; done
    for t in "${targets[@]}"; do
        # Keep the smallest set of inputs that covers what the old corpus and the run found.
        rm -rf "${out:?}/$t.min" && mkdir -p "$out/$t.min"
        $build/$t -merge=1 "$out/$t.min" "fuzz/corpus/$t" "$out/$t" >"$out/$t.merge.log" 2>&1
        rm -rf "fuzz/corpus/${t:?}" && mv "$out/$t.min" "fuzz/corpus/$t"
        echo "--- $t: $(grep -h 'stat::number_of_executed_units' "$out/$t.log" | tail -n 1)," \
            "corpus $(find "fuzz/corpus/$t" -type f | wc -l) files"
    done
    exit $status
    ;;
*)
    t=$1; secs=${2:-1800}
    mkdir -p "fuzz/corpus/$t"
    $build/$t -max_total_time="$secs" $artifacts "fuzz/corpus/$t"
    ;;
esac
