"""Shared pieces of the benchmark scripts: trees of files, whole-process timing with peak
memory, interleaved runs and medians. Every script runs its commands on the same machine in one
run, interleaved, so that a busy moment hurts all of them alike."""
import os
import random
import resource
import shutil
import statistics
import subprocess
import time

BIN = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "build", "release", "bin"))


def corvane(bin_dir=BIN):
    return os.path.join(bin_dir, "corvane")


def make_small_tree(root, count, seed=20000):
    """`count` files of 1 KiB to 100 KiB of random bytes, 500 to a folder."""
    rng = random.Random(seed)
    for i in range(count):
        folder = os.path.join(root, f"d{i // 500:03d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"f{i:05d}.bin"), "wb") as f:
            f.write(rng.randbytes(rng.randint(1024, 100 * 1024)))
    age(root)


def make_sparse_tree(root, count, mib):
    """`count` files of `mib` MiB each: a little real data, the rest a hole."""
    os.makedirs(root, exist_ok=True)
    for i in range(count):
        with open(os.path.join(root, f"big{i:04d}.bin"), "wb") as f:
            f.write(os.urandom(4096))
            f.truncate(mib << 20)
    age(root)


def age(root, days=1):
    """Dates every file `days` back, as in an archive. A file written within the last second may
    still be under way, and corvane reads such a file twice: a tree made just now would be
    measured for that instead."""
    when = time.time() - days * 86400
    for folder, _, names in os.walk(root):
        for name in names:
            os.utime(os.path.join(folder, name), (when, when))


def warm(root):
    """Reads every file once, so that the runs measure the code and not the disk."""
    for folder, _, names in os.walk(root):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                while f.read(1 << 20):
                    pass


def run(argv, shell=False):
    """One whole-process run: (seconds, peak resident KiB of the process tree). Output is
    discarded; a failure stops the benchmark."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.perf_counter()
    proc = subprocess.run(argv, shell=shell, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        raise SystemExit(f"failed ({proc.returncode}): {argv if shell else ' '.join(argv[:5])}")
    # ru_maxrss of children is a high-water mark over all of them: only meaningful when it grows.
    return elapsed, max(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, before)


def spawn_time(argv, stdout_path=os.devnull):
    """Wall time of one run, started with posix_spawn so that the timer sees little but the command."""
    fd = os.open(stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    null = os.open(os.devnull, os.O_WRONLY)
    actions = [(os.POSIX_SPAWN_DUP2, fd, 1), (os.POSIX_SPAWN_DUP2, null, 2)]
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    os.close(fd)
    os.close(null)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {' '.join(argv[:4])} ...")
    return elapsed


def peak_kib(argv):
    """Peak resident memory of one run, from GNU time (a small process, so that it is the
    command's own and not an inherited high-water mark)."""
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return int(proc.stderr.split()[-1])


def interleaved(commands, runs):
    """Runs each command `runs` times, round robin; returns {name: median seconds}."""
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, (argv, shell) in commands.items():
            times[name].append(run(argv, shell)[0])
    return {name: statistics.median(t) for name, t in times.items()}


def sha256_rate():
    """SHA-256 bytes per second of one core here, as `openssl speed` measures it (16 KiB blocks)."""
    out = subprocess.run(["openssl", "speed", "-evp", "sha256", "-bytes", "16384", "-seconds", "3"],
                         capture_output=True, text=True).stdout
    line = next(l for l in out.splitlines() if l.startswith("sha256"))
    return float(line.split()[-1].rstrip("k")) * 1000


def have(tool):
    return shutil.which(tool) is not None
