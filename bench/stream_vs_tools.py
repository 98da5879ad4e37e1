#!/usr/bin/env python3
"""Times `corvane hash` of a pipe against `openssl dgst -sha256` and `sha256sum` on the same pipe
(8 GiB by default, from `head -c N /dev/zero`), and `corvane fingerprint` of a pipe, which keeps
the stream (64 MiB in memory, the rest in $TMPDIR); runs interleaved; prints median times, their
ratios, each reader's peak resident memory, the peak size of its files in memory (memfd, shared
memory that a resident size does not show), and the highest rise of the machine's shared memory
(Shmem in /proc/meminfo; other processes move it too).

usage: bench/stream_vs_tools.py [--size-gib N] [--fingerprint-gib N] [--runs N] [--bin DIR]
"""
import argparse
import os
import statistics
import subprocess
import time


def shmem_kib():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("Shmem:"):
                return int(line.split()[1])
    return 0


def memory_files_kib(pid):
    """What the process holds in files in memory (memfd): shared memory its resident size misses."""
    total = 0
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            try:
                if os.readlink(f"/proc/{pid}/fd/{fd}").startswith("/memfd:"):
                    total += os.stat(f"/proc/{pid}/fd/{fd}").st_blocks // 2
            except OSError:
                pass
    except OSError:
        pass
    return total


def peak_rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def run(reader, size):
    """One `head -c SIZE /dev/zero | READER`: (seconds, reader's peak RSS KiB, peak KiB of its
    files in memory, peak rise of the machine's Shmem KiB), sampled every 20 ms."""
    base = shmem_kib()
    start = time.perf_counter()
    source = subprocess.Popen(["head", "-c", str(size), "/dev/zero"], stdout=subprocess.PIPE)
    proc = subprocess.Popen(reader, stdin=source.stdout, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    source.stdout.close()
    rss = files = shm = 0
    while proc.poll() is None:
        rss = max(rss, peak_rss_kib(proc.pid))
        files = max(files, memory_files_kib(proc.pid))
        shm = max(shm, shmem_kib() - base)
        time.sleep(0.02)
    elapsed = time.perf_counter() - start
    source.wait()
    if proc.returncode != 0:
        raise SystemExit(f"{reader[0]} failed with status {proc.returncode}: {proc.stderr.read().decode()[-300:]}")
    return elapsed, rss, files, shm


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
    print(f"{'reader':<34} {'time':>9} {'× openssl':>10} {'peak RSS':>10} {'in memfd':>10} {'Shmem rise':>11}")
    for name, rows in results.items():
        t = statistics.median(r[0] for r in rows)
        rss, files, shm = (max(r[i] for r in rows) / 1024 for i in (1, 2, 3))
        ratio = f"{t / base:.2f}" if readers[name][1] == size else "-"
        print(f"{name:<34} {t:>8.2f}s {ratio:>10} {rss:>8.1f}Mi {files:>8.1f}Mi {shm:>9.1f}Mi")


if __name__ == "__main__":
    main()
