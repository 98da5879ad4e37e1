#!/usr/bin/env python3
"""Times `corvane hash` of a pipe against `openssl dgst -sha256` and `sha256sum` on the same pipe
(8 GiB by default, from `head -c N /dev/zero`), and `corvane fingerprint` of a pipe, which keeps
the stream (64 MiB in memory, the rest in $TMPDIR); runs interleaved; prints median times, their
ratios, each reader's peak resident memory, and the highest rise of the machine's shared memory
(Shmem in /proc/meminfo, which a file in memory adds to but a resident size does not show).

usage: bench/stream_vs_tools.py [--size-gib N] [--fingerprint-gib N] [--runs N] [--bin DIR]
"""
import argparse
import os
import statistics
import subprocess
import threading
import time


def shmem_kib():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("Shmem:"):
                return int(line.split()[1])
    return 0


def run(reader, size):
    """One `head -c SIZE /dev/zero | READER`: (seconds, reader's peak RSS KiB, Shmem rise KiB)."""
    base = shmem_kib()
    peak = [base]
    done = threading.Event()

    def sample():
        while not done.wait(0.02):
            peak[0] = max(peak[0], shmem_kib())

    sampler = threading.Thread(target=sample)
    sampler.start()
    start = time.perf_counter()
    source = subprocess.Popen(["head", "-c", str(size), "/dev/zero"], stdout=subprocess.PIPE)
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + reader, stdin=source.stdout, capture_output=True)
    source.stdout.close()
    source.wait()
    elapsed = time.perf_counter() - start
    done.set()
    sampler.join()
    if proc.returncode != 0:
        raise SystemExit(f"{reader[0]} failed with status {proc.returncode}: {proc.stderr.decode()[-300:]}")
    return elapsed, int(proc.stderr.split()[-1]), peak[0] - base


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-gib", type=float, default=8)
    parser.add_argument("--fingerprint-gib", type=float, default=1)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    args = parser.parse_args()
    corvane = os.path.join(args.bin, "corvane")
    size = int(args.size_gib * (1 << 30))
    fp_size = int(args.fingerprint_gib * (1 << 30))
    readers = {
        "corvane hash": ([corvane, "hash"], size),
        "openssl dgst -sha256": (["openssl", "dgst", "-sha256"], size),
        "sha256sum": (["sha256sum"], size),
        f"corvane fingerprint ({args.fingerprint_gib:g} GiB)": ([corvane, "fingerprint"], fp_size),
    }
    results = {name: [] for name in readers}
    for _ in range(args.runs):
        for name, (argv, n) in readers.items():
            results[name].append(run(argv, n))

    base = statistics.median(r[0] for r in results["openssl dgst -sha256"])
    print(f"pipe of {args.size_gib:g} GiB, {args.runs} runs interleaved, medians")
    print(f"{'reader':<34} {'time':>9} {'× openssl':>10} {'peak RSS':>10} {'Shmem rise':>11}")
    for name, rows in results.items():
        t = statistics.median(r[0] for r in rows)
        rss = max(r[1] for r in rows) / 1024
        shm = max(r[2] for r in rows) / 1024
        ratio = f"{t / base:.2f}" if readers[name][1] == size else "-"
        print(f"{name:<34} {t:>8.2f}s {ratio:>10} {rss:>8.1f}Mi {shm:>9.1f}Mi")


if __name__ == "__main__":
    main()
