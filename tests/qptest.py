"""Helpers for the black-box tests: run the real binary in a private
temporary directory and read what it left behind."""

import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BIN = os.path.abspath(os.environ.get(
    "QUILLPACK_BIN", os.path.join(ROOT, "build", "quillpack")))
HOOKED_BIN = os.path.abspath(os.environ.get(
    "QUILLPACK_HOOKED_BIN", os.path.join(ROOT, "build", "quillpack_hooked")))

MESSAGE = (b"Date: Mon, 1 Jan 2001 10:00:00 +0000\n"
           b"From: someone@example.org\n"
           b"Subject: test\n"
           b"\n"
           b"Body line.\n")
FALLBACK = b"From quillpack@localhost Sat Jan 01 12:00:00 2000\r\n"
LOG_RULE = "-" * 60


def message(subject="test", body=b"Body line.\n"):
    return (b"Date: Mon, 1 Jan 2001 10:00:00 +0000\n"
            b"From: someone@example.org\n"
            b"Subject: " + subject.encode() + b"\n\n" + body)


def crlf(data):
    """The bytes a source's lines become in the mbox."""
    data = data.replace(b"\r\n", b"\n").replace(b"\r", b"\n")
    out = data.replace(b"\n", b"\r\n")
    if out and not out.endswith(b"\r\n"):
        out += b"\r\n"
    return out


def packed(data):
    """The mbox entry of a plain source message under the defaults."""
    return FALLBACK + crlf(data)


def tree_digest(root):
    """A digest of every file's path, mode and bytes under root."""
    h = hashlib.sha256()
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            h.update(os.path.relpath(path, root).encode("utf-8", "surrogateescape"))
            if os.path.islink(path) or not os.path.isfile(path):
                h.update(b"<special>")
                continue
            with open(path, "rb") as f:
                h.update(hashlib.sha256(f.read()).digest())
    return h.hexdigest()


class Run:
    def __init__(self, proc, tmp):
        self.code = proc.returncode
        self.stdout = proc.stdout
        self.stderr = proc.stderr
        self.tmp = tmp

    @property
    def log(self):
        path = os.path.join(self.tmp, "quillpack.log")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("latin-1")


class QuillpackTest(unittest.TestCase):
    """A scratch directory per test with src/, out/ and a private TMPDIR."""

    binary = BIN

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qptest-")
        self.src = os.path.join(self.dir, "src")
        self.out = os.path.join(self.dir, "out")
        self.tmp = os.path.join(self.dir, "tmp") + "/"
        os.makedirs(self.src)
        os.makedirs(self.tmp)

    def tearDown(self):
        subprocess.run(["chmod", "-R", "u+rwx", self.dir],
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(self.dir, ignore_errors=True)

    def write(self, relpath, data, base=None):
        path = os.path.join(base or self.src, relpath)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, relpath, base=None):
        with open(os.path.join(base or self.out, relpath), "rb") as f:
            return f.read()

    def env(self, **extra):
        env = dict(os.environ)
        env["TMPDIR"] = self.tmp
        env.pop("TERM", None)
        env.update(extra)
        return env

    def run_qp(self, *args, binary=None, input=None, timeout=120, **extra):
        proc = subprocess.run([binary or self.binary, *args],
                              stdin=subprocess.DEVNULL if input is None else None,
                              input=input, capture_output=True,
                              env=self.env(**extra), timeout=timeout,
                              start_new_session=True)
        return Run(proc, self.tmp)

    def log_messages(self, log):
        """The message lines of the last log block (between Begin and End)."""
        lines = log.split("\n")
        begin = max(i for i, l in enumerate(lines) if l.startswith("Begin: "))
        end = max(i for i, l in enumerate(lines) if l.startswith("End: "))
        return lines[begin + 1:end]
