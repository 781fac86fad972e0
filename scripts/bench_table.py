#!/usr/bin/env python3
"""Prints one Markdown table from Google Benchmark JSON files, with the run's date and machine."""
import json
import sys


def rate(bench):
    if "bytes_per_second" in bench:
        return f"{bench['bytes_per_second'] / 1e6:,.1f} MB/s"
    if "items_per_second" in bench:
        return f"{bench['items_per_second'] / 1e6:,.3f} M/s"
    return ""


def main(paths):
    rows = []
    context = None
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        context = context or data.get("context", {})
        suite = path.rsplit("/", 1)[-1].removesuffix(".json")
        for bench in data.get("benchmarks", []):
            if bench.get("run_type") == "aggregate" and bench.get("aggregate_name") != "median":
                continue
            unit = bench.get("time_unit", "ns")
            rows.append((suite, bench["name"], f"{bench['real_time']:,.1f} {unit}", rate(bench)))
    if context:
        print(f"Measured {context.get('date', '?')} on {context.get('host_name', '?')}, "
              f"{context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz.\n")
    print("| suite | benchmark | time | rate |")
    print("|---|---|---:|---:|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main(sys.argv[1:])
