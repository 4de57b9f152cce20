#!/usr/bin/env python3
"""The Python module against the C++ file layer: a 10,000,000-particle cache
(position, velocity and six per-particle doubles) written from NumPy arrays
and read into them with velpo.write and velpo.read, and the same file read
and the same records written by bench_pdc_large, through CPdc as the nodes
do. Prints the median and the best of each and their ratios (targets: at
most 1.1).

The passes of the two alternate, so that both meet the same load on a
shared machine. Every pass starts with no dirty pages and no earlier file to
replace, in both programs, so that what the system does about the previous
pass is not measured; the file read stays in the page cache.

Usage, from the repository after `make build-release`, with the interpreter
the module was built for (see the README's "Python" section):

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_bench.py \\
        [--build build/release] [--particles 10000000] [--passes 7] [--dir /tmp]
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from typing import Dict, List

import numpy as np

import velpo

DOUBLES = ("age", "mass", "radius", "density", "pressure", "temperature")


def python_write(path: str, data: Dict[str, np.ndarray]) -> float:
    if os.path.exists(path):
        os.remove(path)
    os.sync()
    start = time.perf_counter()
    velpo.write(path, data)
    return time.perf_counter() - start


def python_read(path: str, data: Dict[str, np.ndarray]) -> float:
    os.sync()
    start = time.perf_counter()
    cache = velpo.read(path)
    seconds = time.perf_counter() - start
    if not np.array_equal(cache["temperature"], data["temperature"]):
        sys.exit(f"{path}: read back differs from what was written")
    return seconds


def cpp_pass(program: str, path: str, folder: str, particles: int) -> Dict[str, float]:
    """One write and one read by bench_pdc_large, in seconds."""
    environment = {
        **os.environ,
        "VELPO_BENCH_FILE": path,
        "VELPO_BENCH_DIR": folder,
        "VELPO_BENCH_PARTICLES": str(particles),
    }
    run = subprocess.run(
        [program, "--benchmark_format=json"], env=environment, capture_output=True, text=True, check=True
    )
    seconds = {}
    for benchmark in json.loads(run.stdout)["benchmarks"]:
        if benchmark.get("error_occurred"):
            sys.exit(f"{program}: {benchmark['error_message']}")
        operation = "write" if benchmark["name"].startswith("BM_WriteLarge") else "read"
        seconds[operation] = benchmark["real_time"] / 1e3  # reported in ms
    return seconds


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build/release", help="build folder holding bin/bench_pdc_large")
    parser.add_argument("--particles", type=int, default=10_000_000)
    parser.add_argument("--passes", type=int, default=7)
    parser.add_argument("--dir", default=tempfile.gettempdir(), help="folder of the cache files")
    arguments = parser.parse_args()
    program = os.path.join(arguments.build, "bin", "bench_pdc_large")

    rng = np.random.default_rng(7)
    n = arguments.particles
    data = {"position": rng.normal(size=(n, 3)), "velocity": rng.normal(size=(n, 3))}
    data.update({name: rng.normal(size=n) for name in DOUBLES})
    path = os.path.join(arguments.dir, "velpo-python-bench.pdc")
    times: Dict[str, Dict[str, List[float]]] = {
        "Python": {"read": [], "write": []},
        "C++": {"read": [], "write": []},
    }
    try:
        python_write(path, data)  # the file both read, and a first pass that warms up
        size = os.path.getsize(path)
        for _ in range(arguments.passes):
            times["Python"]["write"].append(python_write(path, data))
            for operation, seconds in cpp_pass(program, path, arguments.dir, n).items():
                times["C++"][operation].append(seconds)
            times["Python"]["read"].append(python_read(path, data))
    finally:
        if os.path.exists(path):
            os.remove(path)

    print(f"{n:,} particles, {size / 1e6:,.0f} MB file, {arguments.passes} alternating passes, in ms")
    print(f"{'':6} {'Python median':>14} {'C++ median':>11} {'ratio':>6}   {'Python best':>12} {'C++ best':>9} {'ratio':>6}")
    for operation in ("read", "write"):
        python, cpp = times["Python"][operation], times["C++"][operation]
        median = statistics.median(python) / statistics.median(cpp)
        best = min(python) / min(cpp)
        print(
            f"{operation:6} {statistics.median(python) * 1e3:14.0f} {statistics.median(cpp) * 1e3:11.0f} "
            f"{median:6.2f}   {min(python) * 1e3:12.0f} {min(cpp) * 1e3:9.0f} {best:6.2f}"
        )
    print("target: ratio at most 1.10")


if __name__ == "__main__":
    main()
