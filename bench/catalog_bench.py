#!/usr/bin/env python3
"""Times catalogs against the standard tools, runs interleaved, medians reported:
  - a first `corvane catalog scan` of 20,000 files of 1-100 KiB against `corvane fingerprint -r`
    on the same tree (goal: at most 1.1 times);
  - a re-scan of the unchanged tree against `find DIR -type f -printf '%s %T@ %i %p\\n'`
    (goal: at most 2 times);
  - `corvane catalog diff` of two catalogs of 1,000,000 entries each, generated into the schema
    with SQLite (goal: under 3 s), with the CPU time it took;
  - the catalogs' size per entry (goal: under 200 bytes).

usage: bench/catalog_bench.py [--runs N] [--files N] [--entries N] [--bin build/release/bin]
"""
import argparse
import os
import shutil
import sqlite3
import statistics
import subprocess
import tempfile
import time

from benchlib import make_small_tree


def timed(argv, ok=(0,)):
    """Wall and CPU (user + system) seconds of one run, output discarded."""
    null = os.open(os.devnull, os.O_WRONLY)
    actions = [(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)]
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    os.close(null)
    if os.waitstatus_to_exitcode(status) not in ok:
        raise SystemExit(f"failed: {' '.join(argv[:5])} ...")
    return elapsed, usage.ru_utime + usage.ru_stime


def remove_catalog(path):
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)


def compare(title, commands, runs, before=None, base=None):
    """Wall and CPU medians side by side. On a shared machine the CPU time (user + system) is the
    steadier of the two."""
    walls = {name: [] for name in commands}
    cpus = {name: [] for name in commands}
    for _ in range(runs):
        for name, argv in commands.items():
            if before:
                before(name)
            wall, cpu = timed(argv)
            walls[name].append(wall)
            cpus[name].append(cpu)
    wall = {name: statistics.median(t) for name, t in walls.items()}
    cpu = {name: statistics.median(t) for name, t in cpus.items()}
    print(f"\n{title} ({runs} interleaved runs, medians)")
    for name in commands:
        print(f"  {name:40} {wall[name] * 1000:8.1f} ms wall ({wall[name] / wall[base]:4.2f} x)"
              f"   {cpu[name] * 1000:8.1f} ms CPU ({cpu[name] / cpu[base]:4.2f} x)")


def generate(corvane, path, entries, hashes):
    """A catalog of `entries` made-up photos, written into the schema by SQLite itself."""
    empty = tempfile.mkdtemp(prefix="corvane-empty-")
    subprocess.run([corvane, "-q", "catalog", "scan", path, empty], check=True, stdout=subprocess.DEVNULL)
    os.rmdir(empty)
    db = sqlite3.connect(path)
    db.execute(f"""
        WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < {entries - 1})
        INSERT INTO entry SELECT 1,
            CAST(printf('Photos/%d/%02d/IMG_%07d.jpg', 2000 + i % 25, i / 1000 % 12 + 1, i) AS BLOB),
            1000 + abs(random()) % 8000000, 1700000000000000000 + i * 1000003, 1700000000000000000 + i * 1000003,
            2049, 1000000 + i, randomblob(32), {'randomblob(32)' if hashes else 'NULL'}, 0 FROM n""")
    db.commit()
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    db.close()


def vary(source, path):
    """B: a copy of A with 1% changed, 1% moved, 1% gone, 1% added and 1% duplicated."""
    shutil.copyfile(source, path)
    db = sqlite3.connect(path)
    db.executescript("""
        UPDATE entry SET fingerprint = randomblob(32), sha256 = randomblob(32) WHERE inode % 100 = 0;
        UPDATE entry SET path = CAST('Moved/' AS BLOB) || path WHERE inode % 100 = 1;
        DELETE FROM entry WHERE inode % 100 = 2;
        INSERT INTO entry SELECT root, CAST('New/' AS BLOB) || path, size, mtime, ctime, device, inode,
            randomblob(32), randomblob(32), 0 FROM entry WHERE inode % 100 = 3;
        INSERT INTO entry SELECT root, CAST('Copy/' AS BLOB) || path, size, mtime, ctime, device, inode,
            fingerprint, sha256, 0 FROM entry WHERE inode % 100 = 4;
    """)
    db.commit()
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    db.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--entries", type=int, default=1000000)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    args = parser.parse_args()
    corvane = os.path.abspath(os.path.join(args.bin, "corvane"))

    with tempfile.TemporaryDirectory(prefix="corvane-bench-") as tmp:
        tree, catalog = os.path.join(tmp, "tree"), os.path.join(tmp, "tree.catalog")
        make_small_tree(tree, args.files)
        # Files changed within a tick of the file system's clock of being read are read again
        # by the next scan: let the tree settle first.
        time.sleep(2.5)
        timed(["cat"] + [os.path.join(d, f) for d, _, fs in os.walk(tree) for f in fs])  # warm the cache

        scan = [corvane, "-q", "catalog", "scan", catalog, tree]
        compare(f"first scan: {args.files} files of 1-100 KiB", {
            "corvane fingerprint -r": [corvane, "-q", "fingerprint", "-r", tree],
            "corvane catalog scan (new catalog)": scan,
        }, args.runs, before=lambda name: remove_catalog(catalog), base="corvane fingerprint -r")
        scanned_size = os.path.getsize(catalog)

        compare("re-scan of the unchanged tree", {
            "find -type f -printf '%s %T@ %i %p\\n'": ["find", tree, "-type", "f", "-printf", "%s %T@ %i %p\n"],
            "corvane catalog scan (again)": [corvane, "-q", "catalog", "scan", catalog],
        }, args.runs, base="find -type f -printf '%s %T@ %i %p\\n'")

        a, b = os.path.join(tmp, "a.catalog"), os.path.join(tmp, "b.catalog")
        generate(corvane, a, args.entries, hashes=True)
        vary(a, b)
        timed(["cat", a, b])
        walls, cpus = [], []
        for _ in range(args.runs):
            wall, cpu = timed([corvane, "-q", "catalog", "diff", a, b], ok=(0, 1))
            walls.append(wall)
            cpus.append(cpu)
        missing_wall = statistics.median(timed([corvane, "-q", "catalog", "diff", "--missing", a, b], ok=(0, 1))[0]
                                         for _ in range(args.runs))
        print(f"\ndiff of two catalogs of {args.entries} entries ({args.runs} runs, medians)")
        print(f"  corvane catalog diff A B            {statistics.median(walls):6.2f} s wall, "
              f"{statistics.median(cpus):6.2f} s CPU (two threads)")
        print(f"  corvane catalog diff --missing A B  {missing_wall:6.2f} s wall")

        print("\ncatalog size")
        print(f"  {args.files} scanned files, fingerprints only, paths like d000/f00000.bin: "
              f"{scanned_size / args.files:6.1f} bytes per entry")
        print(f"  {args.entries} entries with SHA-256, paths like Photos/2007/08/IMG_0123456.jpg: "
              f"{os.path.getsize(a) / args.entries:6.1f} bytes per entry")


if __name__ == "__main__":
    main()
