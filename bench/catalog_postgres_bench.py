#!/usr/bin/env python3
"""Times catalogs on PostgreSQL against catalogs in SQLite files, runs interleaved, medians
reported, on a throw-away cluster this script starts (initdb in a temporary folder, a Unix socket
only, run as the postgres user when run as root) and removes:
  - a first `corvane catalog scan` of 20,000 files of 1-100 KiB into PostgreSQL against into a
    new SQLite file (goal: at most 1.2 times);
  - a re-scan of the unchanged tree, the same two ways (goal: at most 2 times);
  - four scanners of four 20,000-file roots at once into one server, against one scanner of one
    root (goal: at most 1.3 times).

usage: bench/catalog_postgres_bench.py [--runs N] [--files N] [--bin build/release/bin]
"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import tempfile
import time

from benchlib import make_small_tree
from catalog_bench import compare, remove_catalog, timed


class Cluster:
    """A PostgreSQL server in a temporary folder, stopped and removed on exit."""

    def __init__(self):
        found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"), key=lambda p: int(p.split("/")[4]))
        if not found:
            raise SystemExit("the PostgreSQL server is not installed (apt-get install postgresql)")
        self.bin = os.path.dirname(found[-1])
        self.folder = tempfile.mkdtemp(prefix="corvane-pg-bench-")
        if os.geteuid() == 0:
            shutil.chown(self.folder, "postgres", "postgres")
        data = os.path.join(self.folder, "data")
        self.owner(["initdb", "-D", data, "-U", "postgres", "--auth=trust", "--no-sync"])
        with open(os.path.join(data, "postgresql.conf"), "a") as conf:
            # Durable as SQLite's WAL with synchronous=NORMAL is not: the server syncs each commit.
            conf.write(f"listen_addresses = ''\nunix_socket_directories = '{self.folder}'\n")
        self.owner(["pg_ctl", "-D", data, "-l", os.path.join(self.folder, "log"), "-w", "start"])
        self.databases = 0

    def owner(self, argv):
        argv = [os.path.join(self.bin, argv[0])] + argv[1:]
        if os.geteuid() == 0:
            argv = ["runuser", "-u", "postgres", "--"] + argv
        subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def uri(self, name):
        return f"postgresql:///{name}?host={self.folder}&user=postgres"

    def database(self):
        self.databases += 1
        name = f"bench{self.databases}"
        self.owner(["psql", "-h", self.folder, "-U", "postgres", "-c", f"CREATE DATABASE {name}", "postgres"])
        return self.uri(name)

    def close(self):
        self.owner(["pg_ctl", "-D", os.path.join(self.folder, "data"), "-m", "fast", "-w", "stop"])
        shutil.rmtree(self.folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))
    args = parser.parse_args()
    corvane = os.path.abspath(os.path.join(args.bin, "corvane"))
    cluster = Cluster()
    try:
        with tempfile.TemporaryDirectory(prefix="corvane-bench-") as tmp:
            trees = [os.path.join(tmp, f"tree{i}") for i in range(4)]
            for i, tree in enumerate(trees):
                make_small_tree(tree, args.files, seed=20000 + i)
            time.sleep(2.5)  # past the racy window: a re-scan reads nothing again
            for tree in trees:  # into the page cache
                timed(["cat"] + [os.path.join(d, f) for d, _, fs in os.walk(tree) for f in fs])
            catalog = os.path.join(tmp, "tree.catalog")
            into = cluster.database()
            first = {
                "corvane catalog scan into SQLite": [corvane, "-q", "catalog", "scan", catalog, trees[0]],
                "corvane catalog scan into PostgreSQL": [corvane, "-q", "catalog", "scan", into, trees[0]],
            }

            def fresh(name):  # a new catalog for each first scan
                if "PostgreSQL" in name:
                    first[name][4] = cluster.database()
                else:
                    remove_catalog(catalog)

            compare(f"first scan: {args.files} files of 1-100 KiB", first, args.runs, before=fresh,
                    base="corvane catalog scan into SQLite")
            compare("re-scan of the unchanged tree", {
                "corvane catalog scan SQLite (again)": [corvane, "-q", "catalog", "scan", catalog],
                "corvane catalog scan PostgreSQL (again)": [corvane, "-q", "catalog", "scan",
                                                            first["corvane catalog scan into PostgreSQL"][4]],
            }, args.runs, base="corvane catalog scan SQLite (again)")

            ones, fours = [], []
            for _ in range(args.runs):
                uri = cluster.database()
                ones.append(timed([corvane, "-q", "catalog", "scan", uri, trees[0]])[0])
                uri = cluster.database()
                start = time.perf_counter()
                null = os.open(os.devnull, os.O_WRONLY)
                pids = [os.posix_spawnp(corvane, [corvane, "-q", "catalog", "scan", uri, t], os.environ,
                                        file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)]) for t in trees]
                for pid in pids:
                    _, status = os.waitpid(pid, 0)
                    if os.waitstatus_to_exitcode(status) != 0:
                        raise SystemExit("a concurrent scan failed")
                fours.append(time.perf_counter() - start)
                os.close(null)
            one, four = statistics.median(ones), statistics.median(fours)
            print(f"\nfour scanners of four roots at once into one server ({args.runs} runs, medians)")
            print(f"  one scanner, one root                    {one * 1000:8.1f} ms wall")
            print(f"  four scanners, four roots                {four * 1000:8.1f} ms wall ({four / one:4.2f} x;"
                  f" {os.cpu_count()} processors)")
    finally:
        cluster.close()


if __name__ == "__main__":
    main()
