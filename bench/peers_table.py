#!/usr/bin/env python3
"""Turns the JSON of qel_bench_peers into a table of ratios.

Each cell is the library's time divided by the faster peer's on the same
operation, shape and size, followed by both times in ns per vertex (per
member for region sets). Below 1 the
library is ahead. Cases without a peer show the library's time alone. A
second table gives the linear passes as multiples of the streaming read.

    qel_bench_peers --benchmark_out=peers.json --benchmark_out_format=json
    python3 bench/peers_table.py peers.json [--time real]
"""
import argparse
import json
from collections import defaultdict


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("json")
    ap.add_argument("--time", choices=["cpu", "real"], default="cpu",
                    help="which of the benchmark's clocks to compare (default cpu)")
    args = ap.parse_args()
    with open(args.json) as f:
        runs = json.load(f)["benchmarks"]

    # ns per vertex by (operation, shape) -> size -> library
    ns = defaultdict(lambda: defaultdict(dict))
    order = []
    # With --benchmark_repetitions the medians stand for each case; a plain
    # run has iterations only.
    kind = "median" if any(r.get("aggregate_name") == "median" for r in runs) else None
    for run in runs:
        if run.get("aggregate_name") != kind:
            continue
        op, shape, who, n = run["run_name" if kind else "name"].split("/")[:4]
        unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
        ns[(op, shape)][int(n)][who] = run[args.time + "_time"] * unit / int(n)
        if (op, shape) not in order:
            order.append((op, shape))

    sizes = sorted({n for cases in ns.values() for n in cases})
    def label(n):
        e = len(str(n)) - 1
        return "10^%d" % e if n == 10 ** e else "%gx10^%d" % (n / 10 ** e, e)

    print("| operation | shape | " + " | ".join(label(n) for n in sizes) + " |")
    print("|---|---|" + "---|" * len(sizes))
    for key in order:
        cells = []
        for n in sizes:
            times = ns[key].get(n, {})
            lib = times.get("lib")
            peers = {w: t for w, t in times.items() if w != "lib"}
            if lib is None:
                cells.append("")
            elif not peers:
                cells.append("lib %.1f" % lib)
            else:
                best = min(peers, key=peers.get)
                cells.append("%.2f (%.1f / %s %.1f)" % (lib / peers[best], lib, best, peers[best]))
        print("| %s | %s | %s |" % (key[0], key[1], " | ".join(cells)))

    # The passes that read the vertex list once, as multiples of the plain
    # streaming read of the same outlines: the library's, then the faster peer's.
    linear = ["construct", "length", "area", "centroid", "distance", "bbox"]
    rows = [(op, shape) for op, shape in order if op in linear and ("stream", shape) in ns]
    if not rows:
        return
    print()
    print("Multiples of the streaming read (library, faster peer):")
    print()
    print("| operation | shape | " + " | ".join(label(n) for n in sizes) + " |")
    print("|---|---|" + "---|" * len(sizes))
    for op, shape in rows:
        cells = []
        for n in sizes:
            stream = ns[("stream", shape)].get(n, {}).get("lib")
            times = ns[(op, shape)].get(n, {})
            if stream is None or "lib" not in times:
                cells.append("")
                continue
            peers = [t for w, t in times.items() if w != "lib"]
            cell = "%.2f" % (times["lib"] / stream)
            if peers:
                cell += " (%.2f)" % (min(peers) / stream)
            cells.append(cell)
        print("| %s | %s | %s |" % (op, shape, " | ".join(cells)))


if __name__ == "__main__":
    main()
