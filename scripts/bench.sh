#!/usr/bin/env bash
# Builds the benchmarks in release mode, runs every one of them in this one run, and prints
# one combined table (kvx and its peers side by side). JSON results go to build/bench/.
#   scripts/bench.sh [benchmark-filter-regex]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh base bench
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target kvx_benchmarks >/dev/null
out=build/bench
rm -rf "$out" && mkdir -p "$out"
filter=${1:-.}
for exe in build/release/bench/*_bench; do
    [ -x "$exe" ] || continue
    name=$(basename "$exe")
    echo "running $name" >&2
    "$exe" --benchmark_filter="$filter" --benchmark_out="$out/$name.json" \
        --benchmark_out_format=json >/dev/null
done
# A suite whose benchmarks the filter leaves out writes an empty file: leave those out.
mapfile -t results < <(find "$out" -name '*.json' -size +0 | sort)
# The table, and one plot per suite (time relative to kvx) into docs/img/.
python3 scripts/bench_table.py --plots docs/img "${results[@]}" | tee "$out/table.md"
