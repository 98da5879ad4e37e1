#!/usr/bin/env python3
"""Times `corvane dupes -r` against jdupes, rdfind and rmlint on one generated tree, runs
interleaved, files in the page cache, and prints for each tool the median time, the peak
memory, the bytes it read and whether it found exactly the known groups.

The tree: 5,000 small files (1 KiB to 100 KiB) of which 1,000 are copies, plus small files of a
size that others have but other bytes, and small files that share their first 8 KiB with another
and differ after it; 60 large files of 16 to 48 MiB: originals, copies, fingerprint traps (the
same size and five samples as an original, one byte different between the samples) and traps
that share a header; a hard-linked pair. The expected groups are known from how it is made.

Bytes read are the tool's rchar (/proc/PID/io of the reaped child, added to ours), which counts
reads served from the page cache too; peak memory is GNU time's maximum resident set size, and
processor time its user plus system time (telling on a machine that others share).

usage: bench/dupes_vs_tools.py [--runs N] [--bin build/release/bin] [--keep DIR]
Installs jdupes, rdfind and rmlint (Debian packages) when they are missing.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import tempfile
import time

MIB = 1 << 20
SAMPLE = 16384
WHOLE_LIMIT = 102400


def ensure_tools():
    missing = [tool for tool in ("jdupes", "rdfind", "rmlint") if shutil.which(tool) is None]
    if shutil.which("time") is None and not os.path.exists("/usr/bin/time"):
        missing.append("time")
    if missing:
        sudo = [] if os.geteuid() == 0 else ["sudo"]
        subprocess.run(sudo + ["apt-get", "update", "-qq"], check=True)
        subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "--no-install-recommends"] + missing, check=True,
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def between_samples(size, rng):
    """An offset that none of the fingerprint's five samples covers."""
    step = size // 4
    gaps = [(SAMPLE, step), (step + SAMPLE, 2 * step), (2 * step + SAMPLE, 3 * step),
            (3 * step + SAMPLE, size - SAMPLE)]
    start, end = rng.choice(gaps)
    return rng.randrange(start, end)


def make_tree(root, seed=12):
    """Writes the tree; returns the expected groups as sets of paths (one name per file)."""
    rng = random.Random(seed)
    groups = []

    def write(relative, data):
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    # Small files: 4,000 originals, 1,000 copies of some of them.
    originals = []
    for i in range(4000):
        data = rng.randbytes(rng.randint(1024, WHOLE_LIMIT))
        originals.append([write(f"small/d{i % 40:02d}/f{i:04d}.bin", data), data])
    copies = {}
    for i in range(1000):
        k = rng.randrange(len(originals))
        copies.setdefault(k, []).append(write(f"small/copies/c{i:04d}.bin", originals[k][1]))
    for k, paths in copies.items():
        groups.append({originals[k][0], *paths})
    # Other bytes of a size that another file has; a shared 8 KiB header, different after it.
    for i in range(150):
        data = originals[rng.randrange(len(originals))][1]
        write(f"small/samesize/s{i:03d}.bin", rng.randbytes(len(data)))
        if len(data) > 9000:
            write(f"small/header/h{i:03d}.bin", data[:8192] + rng.randbytes(len(data) - 8192))

    # Large files: 30 originals, 14 copies, 10 fingerprint traps, 6 header traps.
    large = []
    for i in range(30):
        data = rng.randbytes(rng.randint(16 * MIB, 48 * MIB))
        large.append(data)
        write(f"large/orig{i:02d}.bin", data)
    large_groups = {i: [os.path.join(root, f"large/orig{i:02d}.bin")] for i in range(30)}
    for i in range(14):
        k = i % 10
        large_groups[k].append(write(f"large/copy{i:02d}.bin", large[k]))
    traps = {}
    for i in range(10):
        k = 10 + i % 5  # two traps per original, each pair alike: a group of its own
        data = bytearray(large[k])
        offset = between_samples(len(data), random.Random(k))
        data[offset] ^= 0xFF
        traps.setdefault(k, []).append(write(f"large/trap{i:02d}.bin", bytes(data)))
    for i in range(6):
        k = 15 + i
        data = large[k][:65536] + rng.randbytes(len(large[k]) - 65536)
        write(f"large/header{i:02d}.bin", data)
    for paths in list(large_groups.values()) + list(traps.values()):
        if len(paths) > 1:
            groups.append(set(paths))

    # A file with a second name: one file, no duplicate.
    pair = write("links/one.bin", rng.randbytes(200000))
    os.link(pair, os.path.join(root, "links/two.bin"))
    return groups


def all_files(root):
    for folder, _, names in os.walk(root):
        for name in names:
            yield os.path.join(folder, name)


def read_counter():
    with open("/proc/self/io") as f:
        for line in f:
            if line.startswith("rchar:"):
                return int(line.split()[1])
    return 0


def measure(argv, cwd, out_path):
    """One run under GNU time: wall seconds, peak KiB, bytes read, processor seconds."""
    stats = os.path.join(cwd, ".time")
    full = ["/usr/bin/time", "-f", "%M %U %S", "-o", stats] + argv
    before = read_counter()
    with open(out_path, "wb") as out, open(os.devnull, "wb") as err:
        start = time.perf_counter()
        status = subprocess.call(full, stdout=out, stderr=err, cwd=cwd)
        elapsed = time.perf_counter() - start
    read = read_counter() - before
    if status not in (0, 1):
        raise SystemExit(f"failed ({status}): {' '.join(argv)}")
    with open(stats) as f:
        peak, user, system = f.read().split()[-3:]
    return elapsed, int(peak), read, float(user) + float(system)


def nul_groups(data):
    groups, group = [], set()
    for record in data.split(b"\0")[:-1]:
        if record:
            group.add(os.fsdecode(record))
        elif group:
            groups.append(group)
            group = set()
    return groups


def by_file(groups):
    """Groups as sets of (device, inode): names of one file count once."""
    result = set()
    for group in groups:
        ids = frozenset((s.st_dev, s.st_ino) for s in map(os.stat, group))
        if len(ids) > 1:
            result.add(ids)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    parser.add_argument("--keep", help="build the tree here (kept, and reused when present)")
    args = parser.parse_args()
    ensure_tools()
    corvane = os.path.abspath(os.path.join(args.bin, "corvane"))

    with tempfile.TemporaryDirectory(prefix="corvane-dupes-bench-") as tmp:
        root = os.path.abspath(args.keep) if args.keep else os.path.join(tmp, "tree")
        expected_path = root + ".expected"  # beside the tree, not in it
        if args.keep and os.path.exists(expected_path):
            with open(expected_path) as f:
                expected = [set(line.rstrip("\n").split("\0")) for line in f]
        else:
            expected = make_tree(root)
            if args.keep:
                with open(expected_path, "w") as f:
                    f.writelines("\0".join(sorted(g)) + "\n" for g in expected)
        expected_ids = by_file(expected)
        size = sum(os.path.getsize(p) for p in all_files(root))
        count = sum(1 for _ in all_files(root))
        print(f"tree: {count} files, {size / MIB:.0f} MiB, {len(expected)} duplicate groups")
        for path in all_files(root):  # warm the page cache
            with open(path, "rb") as f:
                while f.read(8 * MIB):
                    pass

        tools = {
            "corvane dupes -r": ([corvane, "-q", "dupes", "-r", "-0", root], True),
            "jdupes -r": (["jdupes", "-q", "-r", "-0", root], True),
            "rdfind -n true": (["rdfind", "-n", "true", root], False),
            "rmlint": (["rmlint", root], False),
        }
        results = {name: [] for name in tools}
        correct = {}
        for _ in range(args.runs):
            for name, (argv, parse) in tools.items():
                with tempfile.TemporaryDirectory(dir=tmp) as cwd:  # rdfind and rmlint write their files here
                    out = os.path.join(cwd, ".out")
                    results[name].append(measure(argv, cwd, out))
                    if parse:
                        with open(out, "rb") as f:
                            correct[name] = by_file(nul_groups(f.read())) == expected_ids

        print(f"\n{args.runs} interleaved runs, medians:")
        print("| Command | Time | Processor time | Peak memory | Bytes read | Exactly the expected groups |")
        print("|---|---|---|---|---|---|")
        base = statistics.median(r[0] for r in results["jdupes -r"])
        for name, runs in results.items():
            t = statistics.median(r[0] for r in runs)
            peak = statistics.median(r[1] for r in runs) / 1024
            read = statistics.median(r[2] for r in runs) / MIB
            cpu = statistics.median(r[3] for r in runs)
            verdict = {True: "yes", False: "NO"}.get(correct.get(name), "not checked")
            shown = " ".join(["corvane" if a == corvane else "TREE" if a == root else a for a in tools[name][0]])
            print(f"| `{shown}` | {t:.3f} s ({t / base:.2f} x jdupes) | {cpu:.2f} s | {peak:.1f} MiB | {read:.0f} MiB "
                  f"| {verdict} |")


if __name__ == "__main__":
    main()
