#!/usr/bin/env python3
"""Runs the decode benchmark and prints, for each reader and record, the CPU time of the
record fed one byte per read as a multiple of the same record fed whole, in the same run,
and the fixed readers' byte-by-byte time against the old decode-from-scratch.
Usage: bench/decode_ratios.py <path to kv_bench_decode> [extra benchmark flags]"""
import json
import subprocess
import sys


def main() -> None:
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = subprocess.run([sys.argv[1], "--benchmark_format=json", *sys.argv[2:]],
                         check=True, capture_output=True, text=True).stdout
    cpu, examined = {}, {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue
        reader, record, feed = b["name"].split("/")[:3]
        cpu[(reader, record, feed)] = b["cpu_time"]
        examined[(reader, record, feed)] = b.get("examined_per_byte", 0)
    print(f"{'reader':<8}{'record':<15}{'whole us':>10}{'bytewise us':>13}{'bytewise/whole':>16}"
          f"{'examined ratio':>16}{'before/after':>14}")
    for (reader, record, feed), t in cpu.items():
        if feed != "whole":
            continue
        trickled = cpu[(reader, record, "byte_by_byte")]
        ex_w, ex_t = examined[(reader, record, "whole")], examined[(reader, record, "byte_by_byte")]
        ex = f"{ex_t / ex_w:.2f}" if ex_w else "-"
        before = cpu.get(("before", record, "byte_by_byte"))
        gain = f"{before / trickled:.0f}x" if reader != "before" and before else "-"
        print(f"{reader:<8}{record:<15}{t / 1e3:>10.1f}{trickled / 1e3:>13.1f}{trickled / t:>16.1f}"
              f"{ex:>16}{gain:>14}")


if __name__ == "__main__":
    main()
