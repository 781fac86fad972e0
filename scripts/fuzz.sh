#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang and runs them.
#   scripts/fuzz.sh --short          replay fuzz/corpus/<target> and fuzz each target briefly
#   scripts/fuzz.sh TARGET SECONDS   a campaign on one target, growing fuzz/corpus/<target>
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
CC=clang CXX=clang++ cmake -S fuzz -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build $build -j "$(nproc)" >/dev/null
mapfile -t targets < <(find $build -maxdepth 1 -type f -name '*_fuzz' -perm -u+x -printf '%f\n' | sort)
[ ${#targets[@]} -eq 0 ] && { echo "no fuzz targets yet"; exit 0; }
mkdir -p build/fuzz-artifacts
if [ "${1:-}" = "--short" ]; then
    for t in "${targets[@]}"; do
        mkdir -p "fuzz/corpus/$t" "build/fuzz-work/$t"
        echo "--- $t"
        $build/$t -max_total_time="${KVX_FUZZ_SECONDS:-20}" -artifact_prefix=build/fuzz-artifacts/ \
            "build/fuzz-work/$t" "fuzz/corpus/$t" 2>&1 | tail -n 3
    done
else
    t=$1; secs=${2:-1800}
    mkdir -p "fuzz/corpus/$t"
    $build/$t -max_total_time="$secs" -artifact_prefix=build/fuzz-artifacts/ "fuzz/corpus/$t"
fi
