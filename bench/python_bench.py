"""What the Python layer adds to the library's queries.

Runs the same queries as bench/python_bench.cpp (a 64-vertex wavy star, a
1000 x 1000 grid of points) through qelcntr and, given the path of the
qel_bench_python binary, prints both side by side:

  PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py build/bench/qel_bench_python
"""
import json
import subprocess
import sys
import time

import numpy as np

import qelcntr as q


def star(n=64):
    t = 2 * np.pi * np.arange(n) / n
    r = 1000 * (1 + 0.3 * np.sin(7 * t))
    return np.c_[r * np.cos(t), r * np.sin(t)]


def grid(side=1000):
    c = -1300 + 2600 * (np.arange(side) + 0.5) / side
    x, y = np.meshgrid(c, c)
    return np.c_[x.ravel(), y.ravel()]


def median(f, repeat=5):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return sorted(times)[len(times) // 2]


def main():
    region = q.Region(star())
    pts = grid()
    some = [tuple(p) for p in pts[(np.arange(20000) * 7919) % len(pts)]]
    region.inside(some[0])
    py = {
        "InsideOne": median(lambda: [region.inside(p) for p in some]) / len(some) * 1e9,
        "DistanceOne": median(lambda: [region.distance(p) for p in some]) / len(some) * 1e9,
        "InsideAll": median(lambda: region.inside(pts)) * 1e3,
        "DistanceAll": median(lambda: region.distance(pts)) * 1e3,
    }
    cpp = {}
    if len(sys.argv) > 1:
        out = subprocess.run([sys.argv[1], "--benchmark_format=json", "--benchmark_repetitions=5",
                              "--benchmark_report_aggregates_only=true"],
                             capture_output=True, text=True, check=True).stdout
        for b in json.loads(out)["benchmarks"]:
            if b["name"].endswith("_median"):
                cpp[b["name"][3:].rsplit("_", 1)[0]] = b["real_time"]
    print(f"{'query':<12} {'python':>12} {'c++':>12}  difference")
    for name, t in py.items():
        unit = "ns" if name.endswith("One") else "ms"
        c = cpp.get(name)
        diff = "" if c is None else (f"{t - c:+.0f} ns a call" if unit == "ns" else f"{(t / c - 1) * 100:+.1f} %")
        print(f"{name:<12} {t:>9.1f} {unit} {'' if c is None else f'{c:>9.1f} {unit}'}  {diff}")


if __name__ == "__main__":
    main()
