"""Helpers for the tests of the Windows program under Wine: run an .exe
with Windows paths, find the log and the crash report in the prefix's
temporary directory.

The Wine environment (WINEPREFIX and a running wineserver) comes from
tests/wine/prefix.sh, which `make test-windows` sources; without WINEPREFIX
the build's own prefix is taken, never ~/.wine.
"""

import functools
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# The messages and their mbox form are the native tests' own.
sys.path.insert(0, os.path.dirname(HERE))
from qptest import (BANNER, FALLBACK, ScratchFiles, crlf,  # noqa: E402,F401
                    message, without_closing_lines)
WIN_BUILD = os.environ.get("WIN_BUILD", os.path.join(ROOT, "build-win"))
EXE = os.path.join(WIN_BUILD, "quillpack.exe")
HOOKED_EXE = os.path.join(WIN_BUILD, "quillpack_hooked.exe")
POSIX_BIN = os.environ.get("QUILLPACK_BIN",
                           os.path.join(ROOT, "build", "quillpack"))
WINE = "/usr/lib/wine/wine64"
WINEPATH = [WINE, "winepath"]  # Wine's own tool, run like a program

LOG_RULE = "-" * 60


def wine_env(**extra):
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.path.join(os.path.abspath(WIN_BUILD),
                                              "wineprefix"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEARCH", "win64")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    env.update(extra)
    return env


@functools.lru_cache(maxsize=None)
def to_windows(path):
    """The Windows name of a Unix path (Z:\\... for the root file system).
    An absolute path is mapped directly: asking winepath costs a Wine
    process each time, and it fails now and then on a loaded machine."""
    if path.startswith("/"):
        return "Z:" + path.replace("/", "\\")
    out = subprocess.run(WINEPATH + ["-w", path], capture_output=True,
                         env=wine_env(), check=True, timeout=60)
    return out.stdout.decode().strip()


@functools.lru_cache(maxsize=None)
def temp_directory():
    """The prefix's temporary directory as a Unix path: where the program
    puts its log and crash report."""
    out = subprocess.run([WINE, "cmd", "/c", "echo", "%TEMP%"],
                         capture_output=True, env=wine_env(), check=True,
                         timeout=60)
    windows = out.stdout.decode("latin-1").strip()
    unix = subprocess.run(WINEPATH + ["-u", windows], capture_output=True,
                          env=wine_env(), check=True, timeout=60)
    return unix.stdout.decode().strip()


class Run:
    def __init__(self, proc):
        self.code = proc.returncode
        self.stdout = proc.stdout
        self.stderr = proc.stderr


class WineTest(ScratchFiles, unittest.TestCase):
    """A scratch directory per test with src/ and out/; the log and the
    crash report of the prefix are removed before each test."""

    def setUp(self):
        if not os.path.isfile(EXE):
            self.fail("Windows program not built: %s" % EXE)
        self.dir = os.path.realpath(tempfile.mkdtemp(prefix="qpwine-"))
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.src = os.path.join(self.dir, "src")
        self.out = os.path.join(self.dir, "out")
        os.makedirs(self.src)
        self.log_path = os.path.join(temp_directory(), "quillpack.log")
        self.crash_path = os.path.join(temp_directory(), "ex.err")
        for path in (self.log_path, self.crash_path):
            if os.path.exists(path):
                os.remove(path)

    def win(self, path):
        return to_windows(path)

    def run_exe(self, *args, exe=None, timeout=120, **extra):
        # Under load Wine now and then fails to start a process: it exits
        # at once, nonzero and silent. No run of the program ends that
        # fast (Wine's start-up alone takes longer), so such a run is
        # started again, at most twice.
        for attempt in range(3):
            began = time.monotonic()
            proc = subprocess.run([WINE, exe or EXE, *args],
                                  stdin=subprocess.DEVNULL,
                                  capture_output=True,
                                  env=wine_env(**extra), timeout=timeout)
            never_started = (proc.returncode != 0 and not proc.stdout and
                             not proc.stderr and
                             time.monotonic() - began < 0.1)
            if not never_started:
                break
        return Run(proc)

    def run_posix(self, program, *args, timeout=120):
        """The POSIX build on the same tree, with a scratch TMPDIR and no
        user INI file, so that only the files beside it count."""
        tmp = os.path.join(self.dir, "tmp") + "/"
        os.makedirs(tmp, exist_ok=True)
        env = dict(os.environ, TMPDIR=tmp,
                   XDG_CONFIG_HOME=os.path.join(self.dir, "config"))
        env.pop("TERM", None)
        proc = subprocess.run([program, *args], stdin=subprocess.DEVNULL,
                              capture_output=True, env=env, timeout=timeout)
        return Run(proc)

    def raw_log(self):
        if not os.path.exists(self.log_path):
            return None
        with open(self.log_path, "rb") as f:
            return f.read()

    def log_messages(self, closing=False):
        """The message lines of the log's last block, between Begin and End;
        without the line of each mbox file closed and the tally unless
        asked."""
        lines = self.raw_log().decode("latin-1").split("\r\n")
        begin = max(i for i, l in enumerate(lines) if l.startswith("Begin: "))
        end = max(i for i, l in enumerate(lines) if l.startswith("End: "))
        lines = lines[begin + 1:end]
        return lines if closing else without_closing_lines(lines)
