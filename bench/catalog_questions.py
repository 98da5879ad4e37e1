#!/usr/bin/env python3
"""Times the questions across machines on one catalog of 1,000,000 entries from four machines
(a laptop, a desktop and a backup scanned with SHA-256, a NAS with fingerprints only), written
into the schema with SQLite rather than scanned: 400,000 contents, each entry one of them
spread by a multiplicative hash, so that every content is held two or three times:
  - `corvane dupes --catalog` (goal: under 3 s), with the CPU time it took;
  - `corvane dupes --catalog --probable`, which also matches the NAS's entries by fingerprint;
  - `corvane catalog where` of one file, which the catalog answers without an index on the
    digests by reading every entry.

usage: bench/catalog_questions.py [--runs N] [--entries N] [--bin build/release/bin]
"""
import argparse
import os
import shutil
import sqlite3
import statistics
import subprocess
import tempfile

from catalog_bench import timed

MACHINES = [("laptop", "/home/me", 1), ("desktop", "/home/me", 1), ("backup", "/srv/backup", 1), ("nas", "/volume1", 0)]


def generate(corvane, path, entries, contents):
    """A catalog scanned from an empty folder, then filled by SQLite: four roots of four machines,
    `entries` entries over `contents` contents, the NAS's without SHA-256."""
    empty = tempfile.mkdtemp(prefix="corvane-empty-")
    subprocess.run([corvane, "-q", "catalog", "scan", path, empty], check=True, stdout=subprocess.DEVNULL)
    os.rmdir(empty)
    db = sqlite3.connect(path)
    db.execute("DELETE FROM root")
    for i, (machine, root, hashes) in enumerate(MACHINES, start=1):
        db.execute("INSERT INTO root VALUES (?, CAST(? AS BLOB), CAST(? AS BLOB), 0, ?, 1700000000000000000)",
                   (i, machine, root, hashes))
    db.execute("CREATE TEMP TABLE content(id INTEGER PRIMARY KEY, size INTEGER, fingerprint BLOB, sha256 BLOB)")
    db.execute(f"""
        WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < {contents - 1})
        INSERT INTO content SELECT i, 1000 + abs(random()) % 8000000, randomblob(32), randomblob(32) FROM n""")
    db.execute(f"""
        WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < {entries - 1})
        INSERT INTO entry SELECT r, CAST(printf('Photos/%d/%02d/IMG_%07d.jpg', 2000 + i % 25, i / 1000 % 12 + 1, i)
                                         AS BLOB),
            c.size, 1700000000000000000 + i * 1000003, 1700000000000000000 + i * 1000003, 2049, 1000000 + i,
            c.fingerprint, CASE WHEN r = 4 THEN NULL ELSE c.sha256 END, 0
        FROM (SELECT i, i % 4 + 1 AS r, i * 2654435761 % {contents} AS k FROM n) JOIN content c ON c.id = k""")
    db.commit()
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    db.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--entries", type=int, default=1_000_000)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    args = parser.parse_args()
    corvane = os.path.abspath(os.path.join(args.bin, "corvane"))
    work = tempfile.mkdtemp(prefix="corvane-questions-")
    try:
        catalog = os.path.join(work, "all.catalog")
        generate(corvane, catalog, args.entries, args.entries * 2 // 5)
        probe = os.path.join(work, "probe.jpg")
        with open(probe, "wb") as f:
            f.write(os.urandom(200_000))
        commands = {
            "dupes --catalog": [corvane, "-q", "dupes", "--catalog", catalog],
            "dupes --catalog --probable": [corvane, "-q", "dupes", "--probable", "--catalog", catalog],
            "catalog where (one file)": [corvane, "-q", "catalog", "where", catalog, probe],
        }
        walls = {name: [] for name in commands}
        cpus = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, argv in commands.items():
                wall, cpu = timed(argv, ok=(0, 1))  # where: the probe is held nowhere
                walls[name].append(wall)
                cpus[name].append(cpu)
        groups = subprocess.run([corvane, "dupes", "--json", "--catalog", catalog], capture_output=True, text=True)
        print(f"{args.entries:,} entries, four machines ({args.runs} interleaved runs, medians)")
        print(f"  {len(groups.stdout.splitlines()):,} groups; {groups.stderr.strip()}")
        for name in commands:
            print(f"  {name:30} {statistics.median(walls[name]):6.2f} s wall   "
                  f"{statistics.median(cpus[name]):6.2f} s CPU")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
