#!/usr/bin/env python3
"""The command's trees against the hashing limit of this machine. In one run, interleaved,
medians: `corvane hash -r`, `corvane fingerprint -r`, `hashdeep -r -c sha256`, and
`find | xargs -P<cores>` with sha256sum and b3sum, on 20,000 files of 1-100 KiB; then
`corvane fingerprint -r` on 2,000 sparse files of 500 MiB. Prints the floor: the bytes hashed
divided by (the SHA-256 rate of `openssl speed` times the cores).

usage: bench/throughput.py [--runs N] [--small-files N] [--sparse-files N] [--bin build/release/bin]
"""
import argparse
import os
import tempfile

import benchlib


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--small-files", type=int, default=20000)
    parser.add_argument("--sparse-files", type=int, default=2000)
    parser.add_argument("--bin", default=benchlib.BIN)
    args = parser.parse_args()
    corvane = benchlib.corvane(args.bin)
    cores = os.cpu_count()
    rate = benchlib.sha256_rate()

    with tempfile.TemporaryDirectory(prefix="corvane-bench-") as tmp:
        small, sparse = os.path.join(tmp, "small"), os.path.join(tmp, "sparse")
        benchlib.make_small_tree(small, args.small_files)
        benchlib.make_sparse_tree(sparse, args.sparse_files, 500)
        benchlib.warm(small)
        total = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk(small) for n in ns)
        floor = total / (rate * cores)
        find = f"find '{small}' -type f -print0 | xargs -0 -P{cores}"
        commands = {
            "corvane hash -r": ([corvane, "-q", "hash", "-r", small], False),
            "corvane fingerprint -r": ([corvane, "-q", "fingerprint", "-r", small], False),
            "hashdeep -r -c sha256": (["hashdeep", "-r", "-c", "sha256", small], False),
            f"xargs -P{cores} sha256sum": (f"{find} sha256sum", True),
        }
        if benchlib.have("b3sum"):
            commands[f"xargs -P{cores} b3sum"] = (f"{find} b3sum", True)
        medians = benchlib.interleaved(commands, args.runs)
        print(f"{args.small_files} files of 1-100 KiB, {total / 1e9:.2f} GB, {args.runs} interleaved runs, {cores} cores")
        print(f"SHA-256 here: {rate / 1e9:.2f} GB/s a core; floor {floor * 1000:.0f} ms")
        for name, median in medians.items():
            print(f"  {name:28} {median * 1000:8.0f} ms   {median / floor:5.2f} x floor")
        peak = benchlib.peak_kib([corvane, "-q", "hash", "-r", small])
        print(f"  corvane hash -r peak memory: {peak / 1024:.1f} MiB")

        sparse_floor = 50e-6 * args.sparse_files / cores
        medians = benchlib.interleaved({"corvane fingerprint -r": ([corvane, "-q", "fingerprint", "-r", sparse], False)},
                                       args.runs)
        median = medians["corvane fingerprint -r"]
        print(f"\n{args.sparse_files} sparse files of 500 MiB; floor 50 us x files / cores = {sparse_floor * 1000:.0f} ms")
        print(f"  corvane fingerprint -r       {median * 1000:8.0f} ms   {median / sparse_floor:5.2f} x floor")
        peak = benchlib.peak_kib([corvane, "-q", "fingerprint", "-r", sparse])
        print(f"  peak memory: {peak / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
