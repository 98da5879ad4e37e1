#!/usr/bin/env python3
"""Times `corvane call hashFile` against `openssl dgst -sha256` and `sha256sum` on one cached
file (1 GiB by default), and `corvane call hashAsset` on the same file as a video of a folder
library; several runs interleaved; prints median times, their ratios and each one's peak memory.

usage: bench/hash_vs_tools.py [--size-mib N] [--runs N] [--bin build/release/bin]
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time


def run(argv):
    """Runs a command; returns (seconds, peak resident KiB, stdout). The peak comes from GNU
    time, a small process, since a child of this interpreter would inherit its high-water mark."""
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, capture_output=True)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        raise SystemExit(f"{argv[0]} failed with status {proc.returncode}")
    return elapsed, int(proc.stderr.split()[-1]), proc.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mib", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    args = parser.parse_args()
    corvane = os.path.join(args.bin, "corvane")

    with tempfile.TemporaryDirectory(prefix="corvane-bench-") as tmp:
        path = os.path.join(tmp, "data.mov")
        block = os.urandom(1 << 20)
        with open(path, "wb") as f:
            for _ in range(args.size_mib):
                f.write(block)
        tools = {
            "corvane call hashFile": [corvane, "-q", "call", "hashFile", path],
            "corvane call hashAsset": [corvane, "-q", "call", "--library", tmp, "hashAsset", "data.mov"],
            "openssl dgst -sha256": ["openssl", "dgst", "-sha256", path],
            "sha256sum": ["sha256sum", path],
        }
        digests = {}
        for name, argv in tools.items():  # warm the page cache, and check they agree
            out = run(argv)[2].decode()
            digests[name] = next(word.strip('"') for word in out.replace("=", " ").split() if len(word.strip('"')) == 64)
        if len(set(digests.values())) != 1:
            raise SystemExit(f"the tools disagree: {digests}")
        times = {name: [] for name in tools}
        memory = {name: 0 for name in tools}
        for _ in range(args.runs):
            for name, argv in tools.items():
                seconds, rss, _ = run(argv)
                times[name].append(seconds)
                memory[name] = max(memory[name], rss)

    size = args.size_mib << 20
    base = statistics.median(times["corvane call hashFile"])
    print(f"{args.size_mib} MiB cached file, {args.runs} interleaved runs each")
    print(f"{'tool':24} {'median s':>9} {'GB/s':>6} {'vs corvane':>10} {'peak RSS':>9}")
    for name in tools:
        median = statistics.median(times[name])
        print(f"{name:24} {median:9.3f} {size / median / 1e9:6.2f} {median / base:9.2f}x {memory[name] / 1024:7.1f}MiB")


if __name__ == "__main__":
    main()
