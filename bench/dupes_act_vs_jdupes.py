#!/usr/bin/env python3
"""Times `corvane dupes -r --act reflink` and `--act link` against `jdupes -B` and `jdupes -L` on
fresh copies of the dupes bench tree (the one dupes_vs_tools.py makes), on a loop-mounted XFS
made with reflink, runs interleaved, medians.

Every run acts on a copy of its own, made before the clock starts (`cp -a --reflink=never`, so
that no extent is shared yet) and left in the page cache as the copying left it. After each run
the result is checked: with link, the files of each known group are one file; with reflink,
each group's files still hold their bytes and the file system's used space went down.

usage: bench/dupes_act_vs_jdupes.py [--runs N] [--bin build/release/bin] [--image-gib N]
Needs root (to mount the image), xfsprogs and jdupes (Debian packages, installed when missing).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile

from benchlib import spawn_time
from dupes_vs_tools import all_files, by_file, make_tree

MIB = 1 << 20


def ensure_tools():
    missing = [p for p, tool in (("jdupes", "jdupes"), ("xfsprogs", "mkfs.xfs")) if shutil.which(tool) is None]
    if missing:
        subprocess.run(["apt-get", "update", "-qq"], check=True)
        subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends"] + missing, check=True,
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def used_bytes(path):
    s = os.statvfs(path)
    return (s.f_blocks - s.f_bfree) * s.f_frsize


def groups_in(expected, master, copy):
    return [{p.replace(master, copy, 1) for p in group} for group in expected]


def check(name, groups, used_before, used_after):
    """Each known group acted on, and how much space it gave back (the file system's own count)."""
    if name.endswith(("-L", "--act link")):
        bad = [g for g in groups if len({(s.st_dev, s.st_ino) for s in map(os.stat, g)}) != 1]
    else:
        bad = [g for g in groups if len({os.path.getsize(p) for p in g}) != 1 or len(by_file([g])) != 1]
    if bad:
        raise SystemExit(f"{name}: {len(bad)} known groups not acted on as expected, such as {sorted(bad[0])}")
    return (used_before - used_after) / MIB


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    parser.add_argument("--image-gib", type=int, default=12)
    args = parser.parse_args()
    if os.geteuid() != 0:
        raise SystemExit("needs root, to mount an XFS image")
    ensure_tools()
    corvane = os.path.abspath(os.path.join(args.bin, "corvane"))

    with tempfile.TemporaryDirectory(prefix="corvane-act-bench-") as tmp:
        image, mnt = os.path.join(tmp, "xfs.img"), os.path.join(tmp, "mnt")
        os.makedirs(mnt)
        with open(image, "wb") as f:
            f.truncate(args.image_gib << 30)
        subprocess.run(["mkfs.xfs", "-q", "-m", "reflink=1", image], check=True)
        subprocess.run(["mount", "-o", "loop", image, mnt], check=True)
        try:
            master = os.path.join(mnt, "master")
            expected = make_tree(master)
            size = sum(os.path.getsize(p) for p in all_files(master))
            print(f"tree: {sum(1 for _ in all_files(master))} files, {size / MIB:.0f} MiB, "
                  f"{len(expected)} duplicate groups, on XFS with reflink")
            tools = {
                "corvane dupes -r --act reflink": [corvane, "-q", "dupes", "-r", "--act", "reflink"],
                "jdupes -r -B": ["jdupes", "-q", "-r", "-B"],
                "corvane dupes -r --act link": [corvane, "-q", "dupes", "-r", "--act", "link"],
                "jdupes -r -L": ["jdupes", "-q", "-r", "-L"],
            }
            times = {name: [] for name in tools}
            freed = {name: [] for name in tools}
            for i in range(args.runs):
                for name, argv in tools.items():
                    copy = os.path.join(mnt, f"run{i}")
                    subprocess.run(["cp", "-a", "--reflink=never", master, copy], check=True)
                    subprocess.run(["sync"], check=True)
                    before = used_bytes(mnt)
                    times[name].append(spawn_time(argv + [copy]))
                    subprocess.run(["sync"], check=True)
                    freed[name].append(check(name, groups_in(expected, master, copy), before, used_bytes(mnt)))
                    shutil.rmtree(copy)
            print(f"\n{args.runs} interleaved runs, medians, each on a fresh copy:")
            print("| Command | Time | Against jdupes | Space given back |")
            print("|---|---|---|---|")
            pairs = {"corvane dupes -r --act reflink": "jdupes -r -B", "corvane dupes -r --act link": "jdupes -r -L"}
            for name in tools:
                t = statistics.median(times[name])
                against = f"{t / statistics.median(times[pairs[name]]):.2f} x" if name in pairs else ""
                print(f"| `{name} TREE` | {t:.3f} s | {against} | {statistics.median(freed[name]):.0f} MiB |")
        finally:
            subprocess.run(["umount", mnt])


if __name__ == "__main__":
    main()
