#!/usr/bin/env python3
"""Measures `corvane hash -r` and `corvane fingerprint -r` against the practical floor of hashing
a list of files (../shared/bench/sha256_floor.c: threads that open, read, hash with OpenSSL EVP
and close; no walk, no order, no output), on two trees, page cache warm, runs interleaved:
  - 20,000 files of 1 KiB to 100 KiB: `hash -r` against the floor reading whole files;
  - 2,000 sparse files of 500 MiB: `fingerprint -r` against the floor's `fp` (five samples);
and the system calls each makes per file (`strace -f -c`), and peak memory.

usage: bench/floor_vs_command.py [--runs N] [--threads N] [--floor PATH.c] [--bin DIR]
"""
import argparse
import os
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--threads", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--floor", default=FLOOR_SOURCE)
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "release", "bin"))
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


if __name__ == "__main__":
    main()
