#!/usr/bin/env python3
"""Runs the codec benchmark and prints records per second and each operation's
throughput as a share of memcpy of the same bytes in the same run.
Usage: bench/codec_ratios.py <path to kv_bench_codec> [extra benchmark flags]"""
import json
import subprocess
import sys


def main() -> None:
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = subprocess.run([sys.argv[1], "--benchmark_format=json", *sys.argv[2:]],
                         check=True, capture_output=True, text=True).stdout
    rows = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue
        op, shape = b["name"].split("/", 1)
        rows.setdefault(shape, {})[op] = b
    print(f"{'shape':<20}{'op':<8}{'records/s':>14}{'MB/s':>10}{'vs memcpy':>11}")
    for shape, ops in rows.items():
        base = ops.get("Memcpy", {}).get("bytes_per_second")
        for op in ("Encode", "Decode", "Memcpy"):
            if op not in ops:
                continue
            b = ops[op]
            ratio = f"{b['bytes_per_second'] / base:.1%}" if base else "-"
            print(f"{shape:<20}{op:<8}{b['items_per_second']:>14,.0f}{b['bytes_per_second'] / 1e6:>10,.0f}{ratio:>11}")


if __name__ == "__main__":
    main()
