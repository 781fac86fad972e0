#!/usr/bin/env python3
"""Prints one Markdown table from Google Benchmark JSON files, kvx and its peers side by side,
with the run's date and machine; optionally draws one PNG per suite with gnuplot.

Benchmarks are named "<operation>/<implementation>[/<arguments>]": "kvx" is kvx itself, any
other implementation a peer or a floor measured in the same run. Each group (suite, operation,
arguments) shows kvx first and every other implementation's time relative to kvx's.

usage: bench_table.py [--plots FOLDER] RESULT.json...
"""
import json
import os
import re
import shutil
import subprocess
import sys

RUN_OPTION = re.compile(r"^(iterations|repeats|threads|min_time|min_warmup_time):|"
                        r"^(real_time|process_time|manual_time)$")
UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def rate(bench):
    if "bytes_per_second" in bench:
        return f"{bench['bytes_per_second'] / 1e6:,.1f} MB/s"
    if "items_per_second" in bench:
        return f"{bench['items_per_second'] / 1e6:,.3f} M/s"
    return ""


def split_name(name):
    # Google Benchmark appends its run options ("iterations:3", "real_time", ...): drop them.
    parts = [p for p in name.split("/") if not RUN_OPTION.match(p)]
    operation = parts[0]
    implementation = parts[1] if len(parts) > 1 else "kvx"
    return operation, implementation, "/".join(parts[2:])


def suite_of(path, paths):
    # A peer built into its own program ("allocator_jemalloc_bench" beside "allocator_bench")
    # belongs to the suite of the main program.
    suite = os.path.basename(path).removesuffix(".json")
    for other in paths:
        main = os.path.basename(other).removesuffix(".json")
        if main != suite and main.endswith("_bench") and suite.startswith(main[:-6] + "_"):
            return main
    return suite


def load(paths):
    groups = {}  # (suite, operation, arguments) -> [(implementation, seconds, bench)]
    context = None
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        context = context or data.get("context", {})
        suite = suite_of(path, paths)
        for bench in data.get("benchmarks", []):
            if bench.get("run_type") == "aggregate" and bench.get("aggregate_name") != "median":
                continue
            if bench.get("error_occurred"):
                continue
            operation, implementation, arguments = split_name(bench["run_name"]
                                                             if "run_name" in bench else bench["name"])
            seconds = bench["real_time"] * UNITS.get(bench.get("time_unit", "ns"), 1e-9)
            groups.setdefault((suite, operation, arguments), []).append(
                (implementation, seconds, bench))
    return groups, context or {}


def show_time(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:,.2f} {unit}"
    return f"{seconds / 1e-9:,.1f} ns"


def ordered(rows):
    # kvx first, its own variants next, then the peers in the order they ran.
    return sorted(rows, key=lambda r: (r[0] != "kvx", not r[0].startswith("kvx")))


def table(groups, context):
    out = []
    if context:
        out.append(f"Measured {context.get('date', '?')} on {context.get('host_name', '?')}, "
                   f"{context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz; "
                   "time is wall time per iteration; \"vs. kvx\" is the time over kvx's time "
                   "(above 1: kvx is faster).\n")
    out.append("| suite | operation | implementation | time | rate | vs. kvx |")
    out.append("|---|---|---|---:|---:|---:|")
    for (suite, operation, arguments), rows in groups.items():
        base = next((s for i, s, _ in rows if i == "kvx"), None)
        label = operation + (f" ({arguments})" if arguments else "")
        for implementation, seconds, bench in ordered(rows):
            ratio = f"{seconds / base:.2f}" if base else ""
            name = f"**{implementation}**" if implementation == "kvx" else implementation
            out.append(f"| {suite} | {label} | {name} | {show_time(seconds)} | {rate(bench)} "
                       f"| {ratio} |")
    return "\n".join(out)


def plots(groups, folder, work):
    """One bar chart per suite: every implementation's time relative to kvx, per operation."""
    if not shutil.which("gnuplot"):
        print("gnuplot not found: no plots", file=sys.stderr)
        return
    os.makedirs(folder, exist_ok=True)
    os.makedirs(work, exist_ok=True)
    suites = {}
    for (suite, operation, arguments), rows in groups.items():
        base = next((s for i, s, _ in rows if i == "kvx"), None)
        if not base:
            continue
        label = operation + (f" {arguments}" if arguments else "")
        for implementation, seconds, _ in ordered(rows):
            suites.setdefault(suite, []).append((f"{label}: {implementation}", seconds / base,
                                                 implementation == "kvx"))
    for suite, bars in suites.items():
        data = os.path.join(work, f"{suite}.dat")
        with open(data, "w") as f:
            for i, (label, ratio, is_kvx) in enumerate(bars):
                f.write(f'{i} {ratio:.6f} {1 if is_kvx else 2} "{label}"\n')
        script = f"""
set terminal pngcairo size 1000,{200 + 24 * len(bars)} font "sans,10"
set output "{os.path.join(folder, suite + '.png')}"
set title "{suite}: time relative to kvx (kvx = 1, shorter is faster)" noenhanced
set style fill solid 0.8 border -1
set xrange [0:*]
set yrange [{len(bars)}:-1]
set ytics scale 0 nomirror noenhanced
set grid x
set arrow from 1, graph 0 to 1, graph 1 nohead dashtype 2
unset key
set palette defined (1 "#2a7fbf", 2 "#bbbbbb")
unset colorbox
plot "{data}" using (0):1:(0):2:($1-0.35):($1+0.35):3:ytic(4) with boxxyerror lc palette
"""
        with open(os.path.join(work, f"{suite}.gp"), "w") as f:
            f.write(script)
        subprocess.run(["gnuplot", os.path.join(work, f"{suite}.gp")], check=True)
        print(f"plot: {os.path.join(folder, suite + '.png')}", file=sys.stderr)


def main(argv):
    folder = None
    if len(argv) >= 2 and argv[0] == "--plots":
        folder, argv = argv[1], argv[2:]
    groups, context = load(argv)
    print(table(groups, context))
    if folder:
        plots(groups, folder, os.path.join(os.path.dirname(argv[0]) if argv else ".", "plots"))


if __name__ == "__main__":
    main(sys.argv[1:])
