"""The Pythonic layer against the C++ client, in one run: set_many/get_many of 10,000 leaves
against CNyr::set_leaves/get_leaves of the same paths (toolkit_bench's BM_SetLeaves_Client and
BM_GetLeaves_Client), and store.set one leaf at a time against CNyr::set_leaf (BM_SetLeaf_Client).

    PYTHONPATH=build/python /usr/bin/python3 python/bench/bench_nyr.py build/bench/toolkit_bench

Prints each figure and its ratio to the C++ baseline measured just before it.
"""
import json
import subprocess
import sys
import time

import nyr

BATCH = 10000


def batch_paths(n):
    """The paths toolkit_bench writes: a hundred leaves to a node."""
    return [f"/bench/n{i // 100}/leaf{i}" for i in range(n)]


def per_call(function, seconds=1.0):
    """Mean wall time of one call, over calls repeated for about `seconds`."""
    function()  # warm up: the tree exists after the first batch
    calls, start = 0, time.perf_counter()
    while True:
        function()
        calls += 1
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            return elapsed / calls


def cxx_baselines(toolkit_bench):
    run = subprocess.run(
        [toolkit_bench, "--benchmark_filter=^BM_(SetLeaves|GetLeaves|SetLeaf)_Client(/10000)?$",
         "--benchmark_format=json", "--benchmark_min_time=1"],
        check=True, capture_output=True, text=True)
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    return {b["name"].split("/")[0]: b["real_time"] * scale[b["time_unit"]]
            for b in json.loads(run.stdout)["benchmarks"]}


def main():
    cxx = cxx_baselines(sys.argv[1] if len(sys.argv) > 1 else "build/bench/toolkit_bench")
    paths = batch_paths(BATCH)
    items = dict(zip(paths, range(BATCH)))
    with nyr.open() as store:
        python = {
            "BM_SetLeaves_Client": per_call(lambda: store.set_many(items, source="bench")),
            "BM_GetLeaves_Client": per_call(lambda: store.get_many(paths)),
        }
        flip = [0]

        def set_one():
            flip[0] ^= 1
            store.set("/single/a" if flip[0] else "/single/b", "running")

        python["BM_SetLeaf_Client"] = per_call(lambda: [set_one() for _ in range(1000)]) / 1000
    rows = [("set_many, 10,000 leaves", "BM_SetLeaves_Client", 1e3, "ms"),
            ("get_many, 10,000 leaves", "BM_GetLeaves_Client", 1e3, "ms"),
            ("store.set, one leaf", "BM_SetLeaf_Client", 1e6, "us")]
    print(f"{'':26}{'Python':>12}{'C++':>12}{'ratio':>8}")
    for label, name, factor, unit in rows:
        print(f"{label:26}{python[name] * factor:>9.3f} {unit}{cxx[name] * factor:>9.3f} {unit}"
              f"{python[name] / cxx[name]:>8.2f}")


if __name__ == "__main__":
    main()
