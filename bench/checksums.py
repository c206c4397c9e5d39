#!/usr/bin/env python3
"""The mbox bytes quillpack writes for small corpora of every benchmark
shape, as sha256 checksums: speed work must leave them exactly as they are.

    python3 bench/checksums.py PROGRAM            compare with the record
    python3 bench/checksums.py --record PROGRAM   write the record

The record (mbox-checksums.json) holds, per shape, the exit code and the
checksum of every file the program left in the output directory.
"""

import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import corpus  # noqa: E402
import run  # noqa: E402

KiB, MiB = 1 << 10, 1 << 20
RECORD = os.path.join(HERE, "mbox-checksums.json")
SMALL = dict(folders=3, per_folder=10, size_range=(2 * KiB, 20 * KiB))

# name: (how to make it, the copy of the program that packs it).
# The single messages are longer than the program's read buffer, several
# times over, so that a header is read across buffers.
SHAPES = {
    "small_lf": (lambda r: corpus.make_small(r, seed=101, **SMALL), "plain"),
    "small_crlf": (lambda r: corpus.make_small(r, seed=101, line_end="\r\n",
                                               **SMALL), "plain"),
    "large_crlf": (lambda r: corpus.make_large(
        r, seed=102, count=2, size_range=(300 * KiB, 400 * KiB)), "plain"),
    "no_empty_line": (lambda r: run.one_file(r, corpus.make_no_empty_line,
                                             MiB + 17), "plain"),
    "no_line_end": (lambda r: run.one_file(r, corpus.make_no_line_end,
                                           MiB + 5), "plain"),
    "from_lines_changed": (lambda r: corpus.make_small(
        r, seed=104, from_rate=0.05, **SMALL), "from"),
    "from_lines_kept": (lambda r: corpus.make_small(
        r, seed=104, from_rate=0.05, **SMALL), "plain"),
    "tiny": (lambda r: corpus.make_tiny(r, seed=105, folders=3,
                                        per_folder=40), "plain"),
}
SINGLE = ("no_empty_line", "no_line_end")


def file_digests(root):
    digests = {}
    for directory, _, names in os.walk(root):
        for n in names:
            path = os.path.join(directory, n)
            with open(path, "rb") as f:
                digests[os.path.relpath(path, root)] = hashlib.sha256(
                    f.read()).hexdigest()
    return digests


def pack_all(program, scratch):
    """Per shape, the exit code and the checksums of what program wrote."""
    copies, _ = run.private_copies(program, scratch)
    env = dict(os.environ, TMPDIR=scratch, LC_ALL="C")
    found = {}
    for name, (make, copy) in SHAPES.items():
        source = os.path.join(scratch, "corpora", name)
        os.makedirs(source)
        make(source)
        out = os.path.join(scratch, "out", name)
        os.makedirs(out)
        if name in SINGLE:
            argv = [os.path.join(source, "msg.eml"), out + "/", "/p"]
        else:
            argv = [os.path.join(source, "*.eml"), out + "/", "/p", "/s"]
        done = subprocess.run([copies[copy]] + argv, env=env,
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=600)
        found[name] = {"exit": done.returncode, "files": file_digests(out)}
    return found


def load_record():
    with open(RECORD) as f:
        return json.load(f)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program")
    parser.add_argument("--record", action="store_true",
                        help="write the checksums instead of comparing")
    args = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix="bench-checksums-")
    try:
        found = pack_all(os.path.abspath(args.program), scratch)
    finally:
        shutil.rmtree(scratch)
    if args.record:
        with open(RECORD, "w") as f:
            json.dump(found, f, indent=1, sort_keys=True)
            f.write("\n")
        print("recorded %d shapes in %s" % (len(found), RECORD))
        return 0
    differ = [name for name in found if found[name] != load_record().get(name)]
    for name in differ:
        print("differs: " + name)
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
