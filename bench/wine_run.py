#!/usr/bin/env python3
"""The Windows program under Wine against the Win32 floor (floor_win32.cpp:
FindFirstFileW/FindNextFileW, CreateFileW, ReadFile, WriteFile into one
output) on one generated folder of 2,500 small messages.

    python3 bench/wine_run.py [--build-win DIR] [--repeat N]

Wine's start-up is noisy: the figures are medians of wall time, each run
after a warm-up, with a persistent wineserver (tests/wine/prefix.sh).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))

import corpus  # noqa: E402

FILES = 2500


def make_folder(root):
    """2,500 messages of 2-20 kB in one folder (corpus (a)'s messages)."""
    marker = os.path.join(root, "ready-%d" % FILES)
    if os.path.exists(marker):
        return
    shutil.rmtree(root, ignore_errors=True)
    tree = root + "-tree"
    shutil.rmtree(tree, ignore_errors=True)
    corpus.make_small(tree, seed=20240801, folders=25, per_folder=100,
                      size_range=(2048, 20480))
    os.makedirs(root)
    n = 0
    for directory, _, names in sorted(os.walk(tree)):
        for name in sorted(names):
            if name.endswith(".eml") and n < FILES:
                os.rename(os.path.join(directory, name),
                          os.path.join(root, "m%05d.eml" % n))
                n += 1
    shutil.rmtree(tree)
    open(marker, "w").close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-win", default=os.path.join(ROOT, "build-win"))
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    build = os.path.abspath(args.build_win)
    os.environ.setdefault("WIN_BUILD", build)
    from winetest import WINE, to_windows, wine_env  # noqa: E402
    scratch = os.path.join(build, "bench-wine")
    source = os.path.join(scratch, "src")
    os.makedirs(scratch, exist_ok=True)
    make_folder(source)
    floor = os.path.join(scratch, "floor_win32.exe")
    subprocess.run(["x86_64-w64-mingw32-g++", "-O2", "-municode", "-static",
                    "-o", floor, os.path.join(HERE, "floor_win32.cpp")],
                   check=True)
    exe = os.path.join(build, "quillpack.exe")
    out = os.path.join(scratch, "out")

    def quillpack():
        return [exe, to_windows(source) + "\\*.eml", to_windows(out) + "\\",
                "/p"]

    def least():
        return [floor, to_windows(source), to_windows(out) + "\\floor.mbox"]

    times = {"quillpack": [], "floor": []}
    for r in range(args.repeat + 1):
        for name, argv in (("quillpack", quillpack), ("floor", least)):
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            started = time.monotonic()
            subprocess.run([WINE] + argv(), env=wine_env(), check=True,
                           stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=600)
            if r > 0:  # the first round warms up
                times[name].append(time.monotonic() - started)
    print("%d files under Wine, wall seconds (median of %d):"
          % (FILES, args.repeat))
    for name, ts in times.items():
        print("  %-10s %6.2f  (%s)" % (name, statistics.median(ts),
                                       " ".join("%.2f" % t for t in ts)))
    print("  quillpack ÷ floor: %.2f" % (statistics.median(times["quillpack"])
                                         / statistics.median(times["floor"])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
