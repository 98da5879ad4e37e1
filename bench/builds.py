#!/usr/bin/env python3
"""Two builds of the command side by side, in one run, interleaved, medians: start-up
(`corvane call getPlatformVersion`), `hash -r` and `fingerprint -r` on 20,000 files of 1-100 KiB,
`fingerprint -r` on 2,000 sparse files of 500 MiB, `dupes -r` on the dupes tree, and a first
`catalog scan` of the small-file tree. For telling whether a change made the command slower.

usage: bench/builds.py BEFORE_BIN AFTER_BIN [--runs N] [--startup-runs N]
"""
import argparse
import os
import statistics
import sys
import tempfile

import benchlib

sys.path.insert(0, os.path.dirname(__file__))
import dupes_vs_tools  # noqa: E402  (its tree)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--startup-runs", type=int, default=100)
    args = parser.parse_args()
    builds = {"before": benchlib.corvane(os.path.abspath(args.before)),
              "after": benchlib.corvane(os.path.abspath(args.after))}

    with tempfile.TemporaryDirectory(prefix="corvane-bench-") as tmp:
        small, sparse, tree = (os.path.join(tmp, n) for n in ("small", "sparse", "dupes"))
        benchlib.make_small_tree(small, 20000)
        benchlib.make_sparse_tree(sparse, 2000, 500)
        dupes_vs_tools.make_tree(tree)
        benchlib.age(tree)
        for root in (small, tree):
            benchlib.warm(root)
        catalogs = os.path.join(tmp, "catalogs")
        os.makedirs(catalogs)

        jobs = {
            "hash -r (small files)": lambda c: [c, "-q", "hash", "-r", small],
            "fingerprint -r (small files)": lambda c: [c, "-q", "fingerprint", "-r", small],
            "fingerprint -r (sparse files)": lambda c: [c, "-q", "fingerprint", "-r", sparse],
            "dupes -r (dupes tree)": lambda c: [c, "-q", "dupes", "-r", tree],
        }
        times = {(job, build): [] for job in jobs for build in builds}
        for run in range(args.runs):
            for job, argv in jobs.items():
                for build, corvane in builds.items():
                    times[(job, build)].append(benchlib.run(argv(corvane))[0])
            for build, corvane in builds.items():
                catalog = os.path.join(catalogs, f"{build}-{run}.catalog")
                times.setdefault(("first catalog scan (small files)", build), []).append(
                    benchlib.run([corvane, "-q", "catalog", "scan", catalog, small])[0])
        startup = {build: [] for build in builds}
        for _ in range(args.startup_runs):
            for build, corvane in builds.items():
                startup[build].append(benchlib.spawn_time([corvane, "call", "getPlatformVersion"]))

    print(f"{args.runs} interleaved runs, medians; before = {args.before}, after = {args.after}")
    print(f"  {'':34} {'before':>10} {'after':>10} {'after/before':>13}")
    for job in dict.fromkeys(job for job, _ in times):
        before, after = statistics.median(times[(job, 'before')]), statistics.median(times[(job, 'after')])
        print(f"  {job:34} {before * 1000:8.1f} ms {after * 1000:8.1f} ms {after / before:12.3f}")
    before, after = statistics.median(startup["before"]), statistics.median(startup["after"])
    print(f"  {'start-up (' + str(args.startup_runs) + ' runs)':34} {before * 1000:8.2f} ms {after * 1000:8.2f} ms "
          f"{after / before:12.3f}")


if __name__ == "__main__":
    main()
