#!/usr/bin/env python3
"""Measures `corvane hash -r` and `corvane fingerprint -r` against the practical floor of hashing
a list of files (../shared/bench/sha256_floor.c: threads that open, read, hash with OpenSSL EVP
and close; no walk, no order, no output), on two trees, page cache warm, runs interleaved:
  - 20,000 files of 1 KiB to 100 KiB: `hash -r` against the floor reading whole files;
  - 2,000 sparse files of 500 MiB: `fingerprint -r` against the floor's `fp` (five samples);
and the system calls each makes per file (`strace -f -c`), and peak memory. Then `corvane dupes -r`
against `jdupes -r` on 100,000 files of 4 KiB, all of one size, in 2,000 groups of 50 copies
(every file fingerprinted whole): wall time, processor time and peak memory.

usage: bench/floor_vs_command.py [--runs N] [--threads N] [--floor PATH.c] [--bin DIR] [--no-dupes]
"""
import argparse
import os
import random
import resource
import time
import statistics
import subprocess
import tempfile

import benchlib

HERE = os.path.dirname(os.path.abspath(__file__))
FLOOR_SOURCE = os.path.join(HERE, "..", "..", "shared", "bench", "sha256_floor.c")


def build_floor(source, folder):
    binary = os.path.join(folder, "sha256_floor")
    subprocess.run(["cc", "-O2", "-o", binary, source, "-lcrypto", "-lpthread"], check=True)
    return binary


def file_list(root, folder, name):
    """Every file below `root`, as find lists them, in a file the floor reads."""
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        for below, dirs, names in os.walk(root):
            dirs.sort()
            for n in sorted(names):
                f.write(os.path.join(below, n) + "\n")
    return path


def calls_per_file(argv, files, folder):
    """System calls of a run, per file, from strace's summary."""
    summary = os.path.join(folder, "strace.txt")
    subprocess.run(["strace", "-f", "-c", "-o", summary] + argv, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    with open(summary) as f:
        total = [line.split() for line in f if line.strip().endswith("total")][-1]
    return int(total[3]) / files  # % time, seconds, usecs/call, calls, [errors,] total


def make_one_size_tree(root, files=100000, contents=2000, size=4096):
    """`files` files of `size` bytes, 1,000 to a folder, copies of `contents` random contents."""
    rng = random.Random(4096)
    blobs = [rng.randbytes(size) for _ in range(contents)]
    for i in range(files):
        folder = os.path.join(root, f"d{i // 1000:03d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"f{i:06d}"), "wb") as f:
            f.write(blobs[i % contents])
    benchlib.age(root)


def timed(argv):
    """Wall and processor seconds of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def dupes_against_jdupes(corvane, runs, threads, tmp):
    tree = os.path.join(tmp, "onesize")
    make_one_size_tree(tree)
    benchlib.warm(tree)
    commands = {
        "corvane dupes -r": [corvane, "-q", "dupes", "-j", threads, "-r", tree],
        "jdupes -r": ["jdupes", "-q", "-r", tree],
    }
    results = {name: [] for name in commands}
    for _ in range(runs):
        for name, argv in commands.items():
            results[name].append(timed(argv))
    print("\n100,000 files of 4 KiB, one size, 2,000 groups")
    base = statistics.median(w for w, _ in results["jdupes -r"])
    for name, argv in commands.items():
        wall = statistics.median(w for w, _ in results[name])
        cpu = statistics.median(c for _, c in results[name])
        print(f"  {name:24} {wall * 1000:9.1f} ms  {wall / base:5.2f} x jdupes  {cpu * 1000:9.1f} ms CPU"
              f"  {benchlib.peak_kib(argv) / 1024:6.1f} MiB")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--threads", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--floor", default=FLOOR_SOURCE)
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "release", "bin"))
    parser.add_argument("--no-dupes", action="store_true", help="leave out the duplicates against jdupes")
    args = parser.parse_args()
    corvane = os.path.abspath(os.path.join(args.bin, "corvane"))

    with tempfile.TemporaryDirectory(prefix="corvane-floor-") as tmp:
        floor = build_floor(args.floor, tmp)
        small, sparse = os.path.join(tmp, "small"), os.path.join(tmp, "sparse")
        benchlib.make_small_tree(small, 20000)
        benchlib.make_sparse_tree(sparse, 2000, 500)
        small_list = file_list(small, tmp, "small.list")
        sparse_list = file_list(sparse, tmp, "sparse.list")
        benchlib.warm(small)
        threads = str(args.threads)
        trees = [
            ("20,000 files of 1-100 KiB", 20000, {
                "floor": [floor, threads, small_list],
                "corvane hash -r": [corvane, "hash", "-j", threads, "-r", small],
            }),
            ("2,000 sparse files of 500 MiB", 2000, {
                "floor fp": [floor, threads, sparse_list, "fp"],
                "corvane fingerprint -r": [corvane, "fingerprint", "-j", threads, "-r", sparse],
            }),
        ]
        print(f"{args.runs} interleaved runs, medians, {threads} threads")
        for title, files, commands in trees:
            times = {name: [] for name in commands}
            for _ in range(args.runs):
                for name, argv in commands.items():
                    times[name].append(benchlib.spawn_time(argv))
            medians = {name: statistics.median(t) for name, t in times.items()}
            base = next(iter(medians.values()))
            print(f"\n{title}")
            for name, argv in commands.items():
                print(f"  {name:24} {medians[name] * 1000:9.1f} ms  {medians[name] / base:5.2f} x floor"
                      f"  {calls_per_file(argv, files, tmp):5.2f} calls/file  {benchlib.peak_kib(argv) / 1024:6.1f} MiB")
        if not args.no_dupes and not benchlib.have("jdupes"):
            print("\njdupes is not installed: no duplicates against it (apt-get install jdupes)")
        elif not args.no_dupes:
            dupes_against_jdupes(corvane, args.runs, threads, tmp)


if __name__ == "__main__":
    main()
