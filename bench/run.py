#!/usr/bin/env python3
"""Benchmarks of quillpack against the floor (floor.cpp: open, read, one
memchr per piece, write, close, given the list of files), cat and a common
peer (Python's mailbox.mbox, see peer_mailbox.py).

    python3 bench/run.py [--quick] [--only a,b,...] [--repeat N]
                         [--skip NAMES] [--also NAME=PROGRAM]
                         [--scratch DIR] [--build DIR] [--profile]
                         [--instructions]

Every corpus is made from a seed into the scratch directory (default
BUILD/bench-scratch, or $BENCH_SCRATCH) and reused while its parameters stay
the same. Per corpus the contenders run interleaved, in a rotating order,
first a warm-up round and then the timed rounds; each run starts after sync
in a new, empty output directory, so the page cache holds the sources for
all of them alike and no run pays for another's writes. The table gives
medians of wall and CPU time, and the ratios to cat and to the floor with
the lowest and highest ratio of a round; the JSON file beside it every run.
"""

import argparse
import fcntl
import hashlib
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)

import corpus  # noqa: E402

KiB, MiB, GiB = 1 << 10, 1 << 20, 1 << 30
SEED = 20240801
PEER_TARGET = 10.0    # peer / quillpack on (b)
# (measure, corpora, limit, reference): CPU and wall time as ratios to the
# reference's, peak resident memory in MiB. The LF corpus (a) has its line
# ends rewritten, which the floor does not do.
TARGETS = [
    ("cpu", ("b", "c1", "e"), 1.25, "floor"),
    ("cpu", ("a",), 1.4, "floor"),
    ("wall", ("b", "c1", "e"), 1.25, "floor"),
    ("wall", ("a",), 1.4, "floor"),
    ("wall", ("c2", "d", "f"), 1.2, "cat"),
    ("memory", ("f",), 64, None),
    ("memory", ("a", "b", "c1", "c2", "d", "e"), 16, None),
]
# The references every contender is compared with; the first is the main
# one, whose ratio fields carry no suffix.
REFERENCES = ("cat", "floor")
CORPUS_C_MIN_FREE = 8 * GiB
PEER_CAP = 8 * GiB    # address-space cap of the peer on corpus (c)
# ext4 passes over inodes freed less than a minute ago (five while their
# table block is unwritten) when it allocates one; after many deletions the
# next corpus with many targets waits that long.
INODE_CHURN = 10000
INODE_COOLDOWN = 65


# ---- The plan ----

def plan(quick):
    """The corpora, in the order they run."""
    if quick:
        small = dict(folders=50, per_folder=100)
        large = dict(count=6)
        c_sizes = (128 * MiB, 64 * MiB)
        tiny = dict(folders=20, per_folder=500)
    else:
        small = dict(folders=1000, per_folder=100)
        large = dict(count=100)
        c_sizes = (2 * GiB - 4 * KiB, 1 * GiB)
        tiny = dict(folders=1000, per_folder=1000)
    small_range = (2 * KiB, 20 * KiB)
    large_range = (5 * MiB, 20 * MiB)
    a = dict(small, size_range=small_range, seed=SEED)
    d = dict(small, size_range=small_range, seed=SEED + 4, from_rate=0.03)
    b = dict(large, size_range=large_range, seed=SEED + 2)
    e = dict(a, line_end="\r\n")
    f = dict(tiny, seed=SEED + 5)
    n_small = small["folders"] * small["per_folder"]
    n_tiny = tiny["folders"] * tiny["per_folder"]
    return [
        dict(key="a", title="%d small messages in %d folders, /s"
             % (n_small, small["folders"]), dir="a", params=a,
             build=lambda r: corpus.make_small(r, **a), recursive=True,
             keys=True, need=n_small * 16 * KiB, repeat=5, warmup=1),
        dict(key="walk", title="walk of corpus (a), pattern matching nothing",
             dir="a", params=a, build=lambda r: corpus.make_small(r, **a),
             walk=True, need=0, repeat=5, warmup=1),
        dict(key="b", title="%d large messages (5-20 MB, base64, CR LF)"
             % large["count"], dir="b", params=b,
             build=lambda r: corpus.make_large(r, **b), need=large["count"]
             * 18 * MiB, repeat=5, warmup=1),
        dict(key="c1", title="one message of %s without an empty line"
             % size_text(c_sizes[0]), dir="c1", params=dict(size=c_sizes[0]),
             build=lambda r: one_file(r, corpus.make_no_empty_line,
                                      c_sizes[0]),
             single=True, need=c_sizes[0], repeat=1, warmup=1,
             big=not quick),
        dict(key="c2", title="one message of %s without any line end"
             % size_text(c_sizes[1]), dir="c2", params=dict(size=c_sizes[1]),
             build=lambda r: one_file(r, corpus.make_no_line_end, c_sizes[1]),
             single=True, need=c_sizes[1], repeat=1, warmup=1, expect=2,
             big=not quick),
        dict(key="d", title="as (a), ChangeAllowed=true, body lines "
             "beginning \"From \"", dir="d", params=d,
             build=lambda r: corpus.make_small(r, **d), recursive=True,
             change_allowed=True, need=n_small * 16 * KiB, repeat=5,
             warmup=1),
        dict(key="e", title="as (a), CR LF line ends", dir="e", params=e,
             build=lambda r: corpus.make_small(r, **e), recursive=True,
             need=n_small * 16 * KiB, repeat=5, warmup=1),
        # Each file takes a block of its own: about 4 KiB on disk.
        dict(key="f", title="%d tiny messages in %d folders, long names, /s"
             % (n_tiny, tiny["folders"]), dir="f", params=f,
             build=lambda r: corpus.make_tiny(r, **f), recursive=True,
             keys=True, no_peer=True, need=n_tiny * 5 * KiB, repeat=3,
             warmup=1),
    ]


def one_file(root, make, size):
    make(os.path.join(root, "msg.eml"), size)
    return {"files": 1, "bytes": size, "folders": 1}


def size_text(n):
    if n >= GiB:
        return "%.0f GiB" % (n / GiB) if n % GiB == 0 else "%.2f GiB" % (n / GiB)
    return "%.0f MiB" % (n / MiB)


# ---- Running one command ----

def private_copies(source, scratch, label="quillpack"):
    """Copies of the program, so that a rebuild during a long run cannot
    change it, each with the INI file it needs beside it (the program reads
    quillpack.ini from its own directory): "plain" without one, "from" with
    ChangeAllowed=true, "date" with Order=date, "skip" with
    Duplicates=skip. Returns the paths and a digest of the program."""
    if not os.path.exists(source):
        sys.exit("no program at %s: run make first" % source)
    with open(source, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()[:16]
    copies = {}
    for name, ini in (("plain", None),
                      ("from", "[FromLines]\nChangeAllowed=true\n"),
                      ("date", "[Mbox]\nOrder=date\n"),
                      ("skip", "[Mbox]\nDuplicates=skip\n")):
        d = os.path.join(scratch, "bin", label, name)
        os.makedirs(d, exist_ok=True)
        shutil.copy2(source, os.path.join(d, "quillpack"))
        ini_path = os.path.join(d, "quillpack.ini")
        if ini:
            with open(ini_path, "w") as f:
                f.write(ini)
        elif os.path.exists(ini_path):
            os.remove(ini_path)
        copies[name] = os.path.join(d, "quillpack")
    return copies, digest


def hold_scratch(scratch):
    """A lock on the scratch directory for as long as this run lasts: a
    second run there would delete the first one's outputs under it."""
    f = open(os.path.join(scratch, ".lock"), "w")
    try:
        fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        f.close()
        sys.exit("another benchmark is running in %s; wait for it or give "
                 "this one --scratch DIR" % scratch)
    return f


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.scratch = os.path.abspath(
            args.scratch or os.environ.get("BENCH_SCRATCH")
            or os.path.join(self.build, "bench-scratch"))
        self.quick = args.quick
        self.serial = 0
        self.deleted_at = None
        self.corpora_dir = os.path.join(self.scratch,
                                        "quick" if self.quick else "full")
        self.out_root = os.path.join(self.scratch, "out")
        self.tmp = os.path.join(self.scratch, "tmp")
        for d in (self.corpora_dir, self.out_root, self.tmp):
            os.makedirs(d, exist_ok=True)
        self.lock = hold_scratch(self.scratch)
        self.clear_outputs()  # what an interrupted run may have left
        self.measure = self.build_measure()
        self.programs = {}
        self.digests = {}
        sources = [("quillpack", os.path.join(self.build, "quillpack"))]
        for extra in args.also or []:
            label, _, path = extra.partition("=")
            sources.append((label, os.path.abspath(path)))
        for label, path in sources:
            self.programs[label], self.digests[label] = private_copies(
                path, self.scratch, label)
        # No user's INI file: corpus (d) relies on the one beside the copy.
        self.env = dict(os.environ, TMPDIR=self.tmp, LC_ALL="C",
                        XDG_CONFIG_HOME=os.path.join(self.scratch, "config"))

    def build_measure(self):
        self.floor = self.build_helper("floor")
        return self.build_helper("measure")

    def build_helper(self, name):
        source = os.path.join(HERE, name + ".cpp")
        target = os.path.join(self.scratch, name)
        if (not os.path.exists(target)
                or os.path.getmtime(target) < os.path.getmtime(source)):
            compiler = os.environ.get("CXX") or "c++"
            subprocess.run([compiler, "-O2", "-o", target, source],
                           check=True)
        return target

    def file_list(self, source, single):
        """The list of files the floor is given, in the order of a walk."""
        listing = os.path.join(self.tmp, "floor-list.txt")
        with open(listing, "w") as f:
            if single:
                f.write(source + "\n")
            else:
                for directory, folders, names in os.walk(source):
                    folders.sort()
                    for n in sorted(names):
                        if n.endswith(".eml"):
                            f.write(os.path.join(directory, n) + "\n")
        return listing

    def run(self, argv, out_file="/dev/null", cap=None):
        """Runs argv under the measuring launcher: a dict of wall seconds,
        peak RSS in KiB, user and system seconds and the exit code."""
        err_file = os.path.join(self.tmp, "stderr.txt")
        command = [self.measure]
        if cap:
            command += ["-m", str(cap)]
        command += [out_file, err_file] + argv
        done = subprocess.run(command, env=self.env, stdout=subprocess.PIPE,
                              check=True, text=True)
        wall, rss, user, system, code = (int(x) for x in done.stdout.split())
        with open(err_file, "rb") as f:
            stderr = f.read()[-2000:].decode("utf-8", "replace")
        return {"wall": wall / 1e9, "maxrss_kib": rss, "user": user / 1e6,
                "sys": system / 1e6, "exit": code, "stderr": stderr}

    def fresh_output(self, name):
        """A new, empty output directory. The outputs of earlier runs stay
        as empty files (see empty_output) and go only between corpora."""
        self.serial += 1
        out = os.path.join(self.out_root, "%s-%d" % (name, self.serial))
        os.makedirs(out)
        log = os.path.join(self.tmp, "quillpack.log")
        if os.path.exists(log):
            os.remove(log)
        os.sync()
        return out

    def empty_output(self, out):
        """Frees what a run wrote, keeping its files. Their data would crowd
        the page cache (the run that finds memory full pays for the
        reclaim); deleting the files would cost the next runs instead: for
        a while after a deletion, ext4 skips each freed inode one by one
        when it allocates, which a run that creates a thousand targets pays
        a thousand times."""
        for directory, _, names in os.walk(out):
            for n in names:
                os.truncate(os.path.join(directory, n), 0)

    def clear_outputs(self):
        count = sum(1 + len(names) for _, _, names in os.walk(self.out_root))
        if os.path.exists(self.out_root):
            shutil.rmtree(self.out_root)
        os.makedirs(self.out_root)
        os.sync()
        if count > INODE_CHURN:
            self.deleted_at = time.time()

    def settle(self):
        """Waits until freed inodes are old enough for ext4 to take them
        without a second look."""
        if self.deleted_at is None:
            return
        left = self.deleted_at + INODE_COOLDOWN - time.time()
        if left > 0:
            print("  waiting %.0f s for the files deleted before to age"
                  % left)
            sys.stdout.flush()
            time.sleep(left)
        self.deleted_at = None


# ---- Contenders ----

def contenders(bench, spec, source):
    """(name, argv builder, expected exit code, address cap) per contender.
    The builders take the output directory."""
    single = spec.get("single")
    recursive = spec.get("recursive")
    qp_spec = source if single else os.path.join(source, "*.eml")
    qp_args = ["/p"] + (["/s"] if recursive else [])

    def program(copies, kind=None):
        binary = copies[kind or ("from" if spec.get("change_allowed")
                                 else "plain")]
        return lambda out: ([binary, qp_spec, out + "/"] + qp_args, None)

    def floor(out):
        target = os.path.join(out, "floor.mbox")
        if single:
            return ["cat", source], target
        return ["find", source, "-type", "f", "-name", "*.eml", "-exec",
                "cat", "{}", "+"], target

    listing = bench.file_list(source, single)

    def least(out):
        return [bench.floor, listing, os.path.join(out, "floor.mbox")], None

    def peer(out):
        argv = [sys.executable, os.path.join(HERE, "peer_mailbox.py"),
                source, out]
        return argv + (["--recursive"] if recursive else []), None

    cap = PEER_CAP if single else None
    programs = [(label, program(copies), spec.get("expect", 0), None)
                for label, copies in bench.programs.items()]
    # The two Mbox keys that read more than the transfer: each on its own,
    # against the defaults.
    if spec.get("keys"):
        for kind in ("date", "skip"):
            programs.append(("qp-" + kind,
                             program(bench.programs["quillpack"], kind),
                             spec.get("expect", 0), None))
    programs.append(("cat", floor, 0, None))
    programs.append(("floor", least, 0, None))
    if not spec.get("no_peer"):
        programs.append(("peer", peer, 0, cap))
    return programs


def walk_contenders(bench, source):
    def program(copies):
        return lambda out: ([copies["plain"], os.path.join(source, "*.nomatch"),
                             out + "/", "/p", "/s"], None)

    def find(out):
        return ["find", source, "-name", "*.nomatch"], None

    return [(label, program(copies), 1, None)
            for label, copies in bench.programs.items()] + [
                ("find", find, 0, None)]


def tree_bytes(root):
    total = 0
    for directory, _, names in os.walk(root):
        for n in names:
            total += os.path.getsize(os.path.join(directory, n))
    return total


def separator_count(root, block_size=64 * MiB):
    """Lines beginning with "From " in every file under root: one per
    message in a sound mbox. Reads a block at a time; the five bytes kept
    from each block cannot hold a whole match, so none is counted twice."""
    count = 0
    for directory, _, names in os.walk(root):
        for n in names:
            with open(os.path.join(directory, n), "rb") as f:
                previous = b"\n"
                while True:
                    block = f.read(block_size)
                    if not block:
                        break
                    joined = previous + block
                    count += joined.count(b"\nFrom ")
                    previous = joined[-5:]
    return count


def check_output(name, spec, facts, out):
    """What a sound run leaves: for the mbox writers one separator line per
    message. Returns a problem text or None."""
    if spec.get("walk") or spec.get("single") or name in ("cat", "floor"):
        return None
    found = separator_count(out)
    if found != facts["files"]:
        return "%d separator lines for %d messages" % (found, facts["files"])
    return None


# ---- One corpus ----

def release_cache(root):
    """Lets the kernel drop a finished corpus from the page cache, so that
    it does not crowd the next one."""
    os.sync()
    for directory, _, names in os.walk(root):
        for n in names:
            try:
                fd = os.open(os.path.join(directory, n), os.O_RDONLY)
            except OSError:
                continue
            try:
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            finally:
                os.close(fd)


def run_corpus(bench, spec, results):
    key = spec["key"]
    root = os.path.join(bench.corpora_dir, spec["dir"])
    free = shutil.disk_usage(bench.scratch).free
    if spec.get("big") and free < CORPUS_C_MIN_FREE and not os.path.exists(
            os.path.join(root, corpus.MARKER)):
        print("  skipped: %.1f GiB free in %s, corpus (c) needs %d GiB"
              % (free / GiB, bench.scratch, CORPUS_C_MIN_FREE // GiB))
        results[key] = {"title": spec["title"], "skipped": "disk space"}
        return
    if free < 2.5 * spec["need"]:
        print("  skipped: %.1f GiB free, needs about %.1f GiB"
              % (free / GiB, 2.5 * spec["need"] / GiB))
        results[key] = {"title": spec["title"], "skipped": "disk space"}
        return
    started = time.time()
    stale = os.path.exists(root)
    facts, reused = corpus.ensure(root, spec["params"], spec["build"])
    if stale and not reused:
        bench.deleted_at = time.time()  # the old corpus was deleted
    print("  corpus: %d files, %.1f MB, %d folders (%s in %.0f s)"
          % (facts["files"], facts["bytes"] / 1e6, facts["folders"],
             "reused" if reused else "made", time.time() - started))
    source = os.path.join(root, "msg.eml") if spec.get("single") else root
    if spec.get("walk"):
        entries = walk_contenders(bench, source)
    else:
        entries = contenders(bench, spec, source)
    if bench.args.skip:
        skipped = set(bench.args.skip.split(","))
        entries = [e for e in entries if e[0] not in skipped]
    if spec.get("recursive"):
        bench.settle()  # these runs create a thousand targets each
    runs = {name: [] for name, *_ in entries}
    problems = []
    rounds = spec["warmup"] + spec["repeat"]
    for r in range(rounds):
        order = entries[r % len(entries):] + entries[:r % len(entries)]
        for name, build_argv, expected, cap in order:
            out = bench.fresh_output(name)
            argv, stdout_file = build_argv(out)
            m = bench.run(argv, stdout_file or "/dev/null", cap)
            m["round"] = r
            m["output_bytes"] = tree_bytes(out)
            if m["exit"] != expected:
                problems.append("%s exited %d, expected %d: %s"
                                % (name, m["exit"], expected,
                                   m["stderr"].strip()[-300:]))
            if r == 0:
                problem = check_output(name, spec, facts, out)
                if problem:
                    problems.append("%s: %s" % (name, problem))
            bench.empty_output(out)
            if r >= spec["warmup"]:
                del m["stderr"]
                runs[name].append(m)
    for p in problems:
        print("  PROBLEM: " + p)
    results[key] = summarise(spec, facts, runs, problems)
    if spec.get("walk") and shutil.which("strace"):
        results[key]["syscalls"] = count_walk_syscalls(bench, entries[0])
    print_corpus(key, results[key])
    bench.clear_outputs()


def cpu(m):
    """The CPU time of a whole run: user and system."""
    return m["user"] + m["sys"]


def paired_ratios(ms, reference, measure):
    """measure(run) / measure(reference run of the same round), per round
    in which both ran: the spread of the ratio from round to round."""
    by_round = {m["round"]: measure(m) for m in reference}
    return [measure(m) / by_round[m["round"]] for m in ms
            if by_round.get(m["round"])]


def summarise(spec, facts, runs, problems):
    rows = {}
    for name, ms in runs.items():
        if not ms:
            continue
        wall = statistics.median(m["wall"] for m in ms)
        rows[name] = {
            "rounds": len(ms),
            "wall_median": wall,
            "wall_min": min(m["wall"] for m in ms),
            "wall_max": max(m["wall"] for m in ms),
            "user_median": statistics.median(m["user"] for m in ms),
            "sys_median": statistics.median(m["sys"] for m in ms),
            "cpu_median": statistics.median(cpu(m) for m in ms),
            "cpu_min": min(cpu(m) for m in ms),
            "cpu_max": max(cpu(m) for m in ms),
            "mb_per_s": facts["bytes"] / 1e6 / wall,
            "msg_per_s": facts["files"] / wall,
            "maxrss_mib": max(m["maxrss_kib"] for m in ms) / 1024,
            "exit": [m["exit"] for m in ms],
            "output_bytes": ms[-1]["output_bytes"],
            "runs": ms,
        }
    references = ("find",) if spec.get("walk") else REFERENCES
    reference = references[0]
    for name in references:
        if name not in rows:
            continue
        ref = rows[name]
        suffix = ratio_suffix(name)
        for row in rows.values():
            row["vs_" + name] = row["wall_median"] / ref["wall_median"]
            if ref["cpu_median"] > 0:
                row["cpu_vs_" + name] = row["cpu_median"] / ref["cpu_median"]
            for measure, key in ((lambda m: m["wall"], "wall"), (cpu, "cpu")):
                ratios = paired_ratios(row["runs"], ref["runs"], measure)
                if ratios:
                    row[key + "_ratio_min" + suffix] = min(ratios)
                    row[key + "_ratio_max" + suffix] = max(ratios)
    # How many times as long the peer takes as each build of quillpack.
    if "peer" in rows:
        for name, row in rows.items():
            if name not in ("peer", "cat", "find", "floor"):
                row["peer_over"] = (rows["peer"]["wall_median"]
                                    / row["wall_median"])
    return {"title": spec["title"], "facts": facts, "reference": reference,
            "references": [r for r in references if r in rows],
            "contenders": rows, "problems": problems}


def ratio_suffix(reference):
    """The suffix of a reference's ratio fields: none for the main ones."""
    return "" if reference in ("cat", "find") else "_" + reference


def count_walk_syscalls(bench, entry):
    """The walk's file-system calls, counted with strace: one opened
    directory per directory of the tree is one listing each."""
    name, build_argv, _, _ = entry
    out = bench.fresh_output(name)
    argv, _ = build_argv(out)
    trace = os.path.join(bench.tmp, "walk.strace")
    subprocess.run(["strace", "-f", "-qq", "-o", trace, "-e",
                    "trace=openat,open,getdents64,getdents,newfstatat,"
                    "fstatat64,statx,stat,lstat,fstat"] + argv,
                   env=bench.env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    counts = {}
    directory_opens = 0
    with open(trace, errors="replace") as f:
        for line in f:
            parts = line.split(None, 1)
            call = parts[-1].split("(", 1)[0]
            counts[call] = counts.get(call, 0) + 1
            if call in ("openat", "open") and "O_DIRECTORY" in line:
                directory_opens += 1
    os.remove(trace)
    counts["directory_opens"] = directory_opens
    return counts


# ---- Report ----

def machine():
    info = {"python": platform.python_version(),
            "kernel": platform.release(), "cores": os.cpu_count()}
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    info["cpu"] = line.split(":", 1)[1].strip()
                    break
        with open("/proc/meminfo") as f:
            info["memory_gib"] = round(int(f.readline().split()[1]) / MiB, 1)
    except OSError:
        pass
    info["load_at_start"] = os.getloadavg()
    return info


def file_system(path):
    best, kind = "", "?"
    try:
        with open("/proc/mounts") as f:
            for line in f:
                fields = line.split()
                mount = fields[1]
                if (path + "/").startswith(mount.rstrip("/") + "/") and len(
                        mount) > len(best):
                    best, kind = mount, fields[2]
    except OSError:
        pass
    return kind


def print_corpus(key, result):
    rows = result["contenders"]
    refs = result.get("references") or [result["reference"]]
    print("  %-10s %8s %8s %8s %8s %9s %s %5s" % (
        "contender", "wall s", "CPU s", "MB/s", "msg/s", "peak MiB",
        " ".join("%17s %17s" % ("wall ÷" + r, "CPU ÷" + r) for r in refs),
        "exit"))
    for name, row in rows.items():
        print("  %-10s %8.3f %8.3f %8.1f %8.0f %9.1f %s %5s" % (
            name, row["wall_median"], row["cpu_median"], row["mb_per_s"],
            row["msg_per_s"], row["maxrss_mib"],
            " ".join("%17s %17s" % (ratio_text(row, "wall", r),
                                    ratio_text(row, "cpu", r))
                     for r in refs),
            ",".join(str(e) for e in sorted(set(row["exit"])))))
    for name, row in rows.items():
        if "peer_over" in row:
            print("  peer takes %.1f times as long as %s"
                  % (row["peer_over"], name))
    calls = result.get("syscalls")
    if calls:
        print("  walk: %d directories opened for %d folders (+ root), "
              "%d getdents64, %d newfstatat" % (
                  calls["directory_opens"], result["facts"]["folders"],
                  calls.get("getdents64", 0), calls.get("newfstatat", 0)))


def ratio_text(row, measure, ref):
    """The median ratio, and in brackets the lowest and highest of the
    rounds' paired ratios."""
    key = ("" if measure == "wall" else measure + "_") + "vs_" + ref
    if key not in row:
        return "-"
    suffix = ratio_suffix(ref)
    low, high = row.get(measure + "_ratio_min" + suffix), row.get(
        measure + "_ratio_max" + suffix)
    if low is None or row["rounds"] < 2:
        return "%.2f" % row[key]
    return "%.2f (%.2f-%.2f)" % (row[key], low, high)


def targets(results):
    """Each target with its figure and verdict: (text, figure, met, by how
    much the figure is over the limit)."""
    verdicts = []

    def row(key, name):
        r = results.get(key, {})
        return r.get("contenders", {}).get(name)

    for measure, keys, limit, ref in TARGETS:
        for key in keys:
            qp = row(key, "quillpack")
            if not qp:
                continue
            if measure == "memory":
                text = "(%s) peak memory <= %d MiB" % (key, limit)
                figure = qp["maxrss_mib"]
                shown = "%.1f MiB" % figure
            else:
                field = ("vs_" if measure == "wall" else "cpu_vs_") + ref
                if field not in qp:
                    continue
                text = "(%s) %s time ÷ %s <= %.2f" % (
                    key, "CPU" if measure == "cpu" else "wall", ref, limit)
                figure = qp[field]
                shown = "%.2f" % figure
            verdicts.append((text, shown, figure <= limit,
                             round(figure / limit - 1, 3)))
    qp = row("b", "quillpack")
    if qp and "peer_over" in qp:
        verdicts.append(("(b) quillpack >= %.0f x faster than the peer"
                         % PEER_TARGET, "%.1f x" % qp["peer_over"],
                         qp["peer_over"] >= PEER_TARGET,
                         round(1 - qp["peer_over"] / PEER_TARGET, 3)))
    return verdicts


def print_summary(report):
    m = report["machine"]
    print("\nMachine: %s, %s cores, %s GiB, Linux %s, %s scratch; load %s "
          "at start, %s at end" % (
              m.get("cpu", "?"), m.get("cores"), m.get("memory_gib", "?"),
              m["kernel"], m["file_system"],
              "/".join("%.1f" % x for x in m["load_at_start"]),
              "/".join("%.1f" % x for x in m["load_at_end"])))
    print("\nMedians of the timed rounds; in brackets the lowest and "
          "highest ratio of a round to the reference's run in that round.")
    print("\n%-6s %-10s %6s %8s %8s %8s %9s %17s %17s %17s %17s" % (
        "corpus", "contender", "rounds", "wall s", "CPU s", "MB/s",
        "peak MiB", "wall ÷ref", "CPU ÷ref", "wall ÷floor", "CPU ÷floor"))
    for key, result in report["corpora"].items():
        if "skipped" in result:
            print("%-6s skipped (%s)" % (key, result["skipped"]))
            continue
        ref = result["reference"]
        for name, row in result["contenders"].items():
            print("%-6s %-10s %6d %8.3f %8.3f %8.1f %9.1f %17s %17s %17s %17s"
                  % (key, name, row["rounds"], row["wall_median"],
                     row["cpu_median"], row["mb_per_s"], row["maxrss_mib"],
                     ratio_text(row, "wall", ref), ratio_text(row, "cpu", ref),
                     ratio_text(row, "wall", "floor"),
                     ratio_text(row, "cpu", "floor")))
    print("\nTargets%s:" % (" (set for the full corpora; indicative only "
                             "on the small ones)" if report["quick"] else ""))
    for text, figure, met, over in report["targets"]:
        verdict = "met" if met else "missed by %.0f %%" % (100 * over)
        print("  %-48s %10s  %s" % (text, figure, verdict))
    walk = report["corpora"].get("walk", {})
    if walk.get("syscalls"):
        calls = walk["syscalls"]
        print("\nWalk of (a): %d directories opened for %d folders and the "
              "root, %d getdents64 calls, %d stat calls"
              % (calls["directory_opens"], walk["facts"]["folders"],
                 calls.get("getdents64", 0), calls.get("newfstatat", 0)))
    problems = [p for r in report["corpora"].values()
                for p in r.get("problems", [])]
    if problems:
        print("\nProblems:")
        for p in problems:
            print("  " + p)


# ---- Profile ----

def profile(bench):
    """perf (or callgrind) of quillpack on the small corpora (a) and (b)."""
    for spec in plan(quick=True):
        if spec["key"] not in ("a", "b"):
            continue
        root = os.path.join(bench.scratch, "quick", spec["dir"])
        corpus.ensure(root, spec["params"], spec["build"])
        name, build_argv, _, _ = contenders(bench, spec, root)[0]
        out = bench.fresh_output(name)
        argv, _ = build_argv(out)
        print("== corpus (%s): %s" % (spec["key"], spec["title"]))
        data = os.path.join(bench.tmp, "perf.data")
        if shutil.which("perf"):
            subprocess.run(["perf", "record", "-q", "-F", "4999", "-o", data,
                            "--"] + argv, env=bench.env, check=False,
                           stderr=subprocess.DEVNULL)
            for sort, limit in (("dso", 6), ("dso,symbol", 25)):
                done = subprocess.run(
                    ["perf", "report", "-i", data, "--stdio", "--no-children",
                     "--sort", sort], stdout=subprocess.PIPE,
                    stderr=subprocess.DEVNULL, text=True, check=False)
                lines = [" ".join(l.split()) for l in done.stdout.splitlines()
                         if l.strip() and not l.startswith("#")]
                print("\n".join("  " + l for l in lines[:limit]) + "\n")
        elif shutil.which("valgrind"):
            data = os.path.join(bench.tmp, "callgrind.out")
            subprocess.run(["valgrind", "--tool=callgrind",
                            "--callgrind-out-file=" + data] + argv,
                           env=bench.env, check=False)
            subprocess.run(["callgrind_annotate", data], check=False)
        else:
            print("neither perf nor valgrind is installed")


# ---- Instruction counts ----

def perf_instructions(argv, env, scratch):
    """User-space instructions by perf's counter, or None where the machine
    has no such counter (most virtual machines)."""
    if not shutil.which("perf"):
        return None
    data = os.path.join(scratch, "perf-stat.csv")
    subprocess.run(["perf", "stat", "-x,", "-e", "instructions:u", "-o", data,
                    "--"] + argv, env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    try:
        with open(data) as f:
            for line in f:
                fields = line.strip().split(",")
                if len(fields) > 2 and fields[2].startswith("instructions"):
                    return int(fields[0]) if fields[0].isdigit() else None
    except OSError:
        pass
    return None


def callgrind_instructions(argv, env, scratch):
    """User-space instructions as callgrind counts them (Ir), or None."""
    if not shutil.which("valgrind"):
        return None
    data = os.path.join(scratch, "callgrind.out")
    subprocess.run(["valgrind", "--tool=callgrind", "-q",
                    "--callgrind-out-file=" + data] + argv, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=False)
    try:
        with open(data) as f:
            for line in f:
                if line.startswith(("summary:", "totals:")):
                    return int(line.split()[1])
    except OSError:
        pass
    finally:
        if os.path.exists(data):
            os.remove(data)
    return None


def instructions(bench, only):
    """The instructions each build of quillpack executes on each small
    corpus: steady where the machine's load makes times too noisy to show
    a difference of a few per cent."""
    counts = {}
    for spec in plan(quick=True):
        if only and spec["key"] not in only:
            continue
        root = os.path.join(bench.scratch, "quick", spec["dir"])
        corpus.ensure(root, spec["params"], spec["build"])
        source = os.path.join(root, "msg.eml") if spec.get("single") else root
        entries = (walk_contenders(bench, source) if spec.get("walk")
                   else contenders(bench, spec, source))
        for name, build_argv, expected, _ in entries:
            if name not in bench.programs:
                continue
            argv, _ = build_argv(bench.fresh_output(name))
            tool = "perf"
            count = perf_instructions(argv, bench.env, bench.tmp)
            if count is None:
                argv, _ = build_argv(bench.fresh_output(name))
                tool = "callgrind"
                count = callgrind_instructions(argv, bench.env, bench.tmp)
            counts.setdefault(spec["key"], {})[name] = {"instructions": count,
                                                        "tool": tool}
            print("%-6s %-12s %16s  %s" % (
                spec["key"], name, "{:,}".format(count) if count else "-",
                tool if count else "neither perf nor valgrind counted"))
            sys.stdout.flush()
        bench.clear_outputs()
    return counts


# ---- Main ----

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="small corpora, under a minute")
    parser.add_argument("--only", help="comma-separated corpus keys")
    parser.add_argument("--repeat", type=int, help="timed rounds per corpus")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--scratch")
    parser.add_argument("--results", help="the JSON file to write")
    parser.add_argument("--skip", metavar="NAMES",
                        help="contenders to leave out, for example peer")
    parser.add_argument("--also", action="append", metavar="NAME=PROGRAM",
                        help="one more build of quillpack to run side by "
                        "side, for example a prototype")
    parser.add_argument("--profile", action="store_true",
                        help="profile quillpack on the small corpora")
    parser.add_argument("--instructions", action="store_true",
                        help="count the user-space instructions of "
                        "quillpack on each small corpus")
    args = parser.parse_args()
    bench = Bench(args)
    if args.profile:
        profile(bench)
        return 0
    if args.instructions:
        counts = instructions(bench, set(args.only.split(","))
                              if args.only else None)
        results = args.results or os.path.join(bench.build,
                                               "bench-instructions.json")
        with open(results, "w") as f:
            json.dump({"programs_sha256": bench.digests, "counts": counts},
                      f, indent=1)
        print("results in %s" % results)
        return 0
    report = {"quick": bench.quick, "seed": SEED,
              "generator_version": corpus.GENERATOR_VERSION,
              "programs_sha256": bench.digests, "machine": machine(),
              "started": time.strftime("%Y-%m-%d %H:%M:%S"), "corpora": {}}
    report["machine"]["file_system"] = file_system(bench.scratch)
    only = set(args.only.split(",")) if args.only else None
    started = time.time()
    specs = [spec for spec in plan(bench.quick)
             if not only or spec["key"] in only]
    for i, spec in enumerate(specs):
        if args.repeat:
            spec["repeat"] = args.repeat
        print("\n(%s) %s" % (spec["key"], spec["title"]))
        sys.stdout.flush()
        run_corpus(bench, spec, report["corpora"])
        if i + 1 == len(specs) or specs[i + 1]["dir"] != spec["dir"]:
            release_cache(os.path.join(bench.corpora_dir, spec["dir"]))
        sys.stdout.flush()
    report["machine"]["load_at_end"] = os.getloadavg()
    report["seconds"] = round(time.time() - started, 1)
    report["targets"] = targets(report["corpora"])
    print_summary(report)
    results = args.results or os.path.join(
        bench.build, "bench-results-quick.json" if bench.quick
        else "bench-results.json")
    with open(results, "w") as f:
        json.dump(report, f, indent=1)
    print("\n%.0f s; results in %s" % (report["seconds"], results))
    return 0


if __name__ == "__main__":
    sys.exit(main())
