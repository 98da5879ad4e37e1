#!/usr/bin/env python3
"""Times the corvane command against sha256sum on the same trees, several runs interleaved, and
prints median times and ratios:
  - a tree of 20,000 files of 1 KiB to 100 KiB, and a tree of 20 sparse files of 500 MiB;
  - `corvane fingerprint -r` and `corvane hash -r` against `sha256sum` over all of a tree's files;
  - start-up: `corvane call getPlatformVersion` against `sha256sum /dev/null`.

usage: bench/command_vs_sha256sum.py [--runs N] [--startup-runs N] [--bin build/release/bin] [--small-files N]
"""
import argparse
import os
import statistics
import tempfile
import time

import benchlib


def timed(argv, stdout_path=os.devnull):
    return benchlib.spawn_time(argv, stdout_path)


def files_below(root):
    paths = []
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        paths += [os.path.join(folder, n) for n in sorted(names)]
    return paths


def compare(title, commands, runs):
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, argv in commands.items():
            times[name].append(timed(argv))
    medians = {name: statistics.median(t) for name, t in times.items()}
    base = medians["sha256sum"]
    print(f"\n{title} ({runs} interleaved runs)")
    for name, median in medians.items():
        print(f"  {name:28} {median * 1000:10.1f} ms   sha256sum / this: {base / median:8.1f}x")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--startup-runs", type=int, default=100)
    parser.add_argument("--small-files", type=int, default=20000)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    args = parser.parse_args()
    corvane = os.path.abspath(os.path.join(args.bin, "corvane"))

    with tempfile.TemporaryDirectory(prefix="corvane-bench-") as tmp:
        small, large = os.path.join(tmp, "small"), os.path.join(tmp, "large")
        benchlib.make_small_tree(small, args.small_files)
        benchlib.make_sparse_tree(large, 20, 500)
        for name, root in (("small-file tree: 20,000 files of 1-100 KiB", small),
                           ("large-file tree: 20 sparse files of 500 MiB", large)):
            paths = files_below(root)
            timed(["cat"] + paths)  # warm the page cache
            compare(name, {
                "sha256sum": ["sha256sum"] + paths,
                "corvane fingerprint -r": [corvane, "-q", "fingerprint", "-r", root],
                "corvane hash -r": [corvane, "-q", "hash", "-r", root],
            }, args.runs)

    times = {"sha256sum /dev/null": [], "corvane call getPlatformVersion": []}
    for _ in range(args.startup_runs):
        times["sha256sum /dev/null"].append(timed(["sha256sum", "/dev/null"]))
        times["corvane call getPlatformVersion"].append(timed([corvane, "call", "getPlatformVersion"]))
    print(f"\nstart-up ({args.startup_runs} interleaved runs)")
    for name, t in times.items():
        print(f"  {name:34} median {statistics.median(t) * 1000:6.2f} ms")


if __name__ == "__main__":
    main()
