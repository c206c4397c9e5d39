"""Helpers for the black-box tests: run the real binary in a private
temporary directory and read what it left behind."""

import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import time
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


def project_version():
    """The one version of the program, the project's in CMakeLists.txt."""
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(quillpack VERSION ([0-9.]+)",
                         f.read()).group(1)


# The first line of the usage text, the log block and the crash report.
BANNER = "quillpack " + project_version()
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


class ScratchFiles:
    """Writing sources under self.src and reading targets under self.out."""

    def write(self, relpath, data, base=None):
        path = os.path.join(base or self.src, relpath)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, relpath, base=None):
        with open(os.path.join(base or self.out, relpath), "rb") as f:
            return f.read()


class QuillpackTest(ScratchFiles, unittest.TestCase):
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

    def env(self, **extra):
        env = dict(os.environ)
        env["TMPDIR"] = self.tmp
        # The user's own INI file would win over any beside the program.
        env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")
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

    def log_messages(self, log, closing=False):
        """The message lines of the last log block (between Begin and End);
        without the closing lines (see without_closing_lines) unless asked."""
        lines = log.split("\n")
        begin = max(i for i, l in enumerate(lines) if l.startswith("Begin: "))
        end = max(i for i, l in enumerate(lines) if l.startswith("End: "))
        lines = lines[begin + 1:end]
        return lines if closing else without_closing_lines(lines)


# ---- The mbox transform, for checking what a target holds ----

def source_lines(data):
    """The lines of a source, each line end (LF, CR LF, CR) as one LF."""
    text = data.replace(b"\r\n", b"\n").replace(b"\r", b"\n")
    lines = [l + b"\n" for l in text.split(b"\n")]
    lines[-1] = lines[-1][:-1]
    return lines if lines[-1] else lines[:-1]


def is_from_line(line):
    if len(line) <= 5 or not line.startswith(b"From ") or line[-1:] != b"\n":
        return False
    return line[5:].lstrip(b" \t")[:1] != b":"


def header_colon(line):
    colon = line.find(b":")
    if colon < 0:
        return 0
    end = colon
    for i in range(colon):
        if line[i] < 33:
            end = i
            break
        if line[i] > 126:
            return 0
    if end == 0 or line[end:colon].strip(b" \t"):
        return 0
    return colon + 1


def header_kind(line):
    if header_colon(line) <= 4:
        return 0
    return {b"date": 1, b"from": 2}.get(line[:4].lower(), 0)


def mbox_entry(data, quote_all=False):
    """The bytes a source becomes in the mbox, or None when it is no message
    (the default quoting, or that of ChangeAllowed=true alone)."""
    lines = source_lines(data)
    own = bool(lines) and is_from_line(lines[0])
    start = 1 if own else 0
    if start >= len(lines):
        return None
    first_colon = header_colon(lines[start])
    kinds = header_kind(lines[start]) if first_colon > 4 else 0
    end = start + 1
    while end < len(lines):
        line = lines[end]
        end += 1
        if kinds != 3 and header_colon(line) > 4:
            kinds |= header_kind(line)
            continue
        if line == b"\n":
            break
    if first_colon <= 1 or kinds != 3:
        return None
    out = [lines[0] if own else FALLBACK[:-2] + b"\n"]
    out += [l for l in lines[start:end] if not is_from_line(l)]
    quote = quote_all and not own
    out += [b" " + l if quote and is_from_line(l) else l for l in lines[end:]]
    text = b"".join(out).replace(b"\n", b"\r\n")
    return text if text.endswith(b"\r\n") else text + b"\r\n"


def match_messages(target, entries, allow_cut=False):
    """How the target splits into the entries, in their order, each used at
    most once: a list of indices (the last ("cut", i) when allow_cut lets it
    end in a cut-off prefix of entry i), or None when it does not split."""
    def walk(pos, first):
        if pos == len(target):
            return []
        for i in range(first, len(entries)):
            if entries[i] and target.startswith(entries[i], pos):
                rest = walk(pos + len(entries[i]), i + 1)
                if rest is not None:
                    return [i] + rest
        if allow_cut:
            for i in range(first, len(entries)):
                if entries[i] and entries[i].startswith(target[pos:]):
                    return [("cut", i)]
        return None
    return walk(0, 0)


def tree_state(root):
    """Every entry under root with its type, mode, size, change time and
    bytes (or link target): what must not change in a source tree."""
    state = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            st = os.lstat(path)
            key = os.path.relpath(path, root)
            if os.path.islink(path):
                state[key] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                state[key] = ("dir", st.st_mode)
            elif os.path.isfile(path):
                h = hashlib.sha256()
                with open(path, "rb") as f:
                    for block in iter(lambda: f.read(1 << 20), b""):
                        h.update(block)
                state[key] = ("file", st.st_mode, st.st_size, st.st_mtime_ns,
                              h.hexdigest())
            else:
                state[key] = ("special", st.st_mode)
    return state


def escaped(text):
    """A name as the program shows it: every C0 control, DEL, C1 control and
    byte that is not valid UTF-8 as \\xHH (text: str with surrogate escapes,
    or bytes)."""
    data = (text.encode("utf-8", "surrogateescape")
            if isinstance(text, str) else text)
    out = []
    i = 0
    while i < len(data):
        for n in (1, 2, 3, 4):
            try:
                char = data[i:i + n].decode("utf-8")
                break
            except UnicodeDecodeError:
                char = None
        if char is None:
            out.append("\\x%02X" % data[i])
            i += 1
            continue
        if ord(char) < 0x20 or 0x7F <= ord(char) <= 0x9F:
            out.append("".join("\\x%02X" % b for b in data[i:i + n]))
        else:
            out.append(char)
        i += n
    return "".join(out)


TALLY = re.compile(
    r"Tally: (\d+) files? found, (\d+) packed into (\d+) mbox files?, "
    r"(\d+) skipped \((\d+) empty, (\d+) system files?, (\d+) mbox files? "
    r"of this run(?:, (\d+) duplicates?)?\), (\d+) not packed, "
    r"(\d+) not reached; (\d+) "
    r"folders? could not be read\.$")
TARGET_LINE = re.compile(r"\d+ messages? written to '.*' \(\d+ bytes\)\.$")


def tally_counts(line):
    """The numbers of a tally line, checked to add up, or None."""
    match = TALLY.match(line)
    if not match:
        return None
    (found, packed, targets, skipped, empty, system, own, duplicates, failed,
     left, folders) = (int(n or 0) for n in match.groups())
    if skipped != empty + system + own + duplicates or \
            found != packed + skipped + failed + left:
        raise AssertionError("the tally does not add up: " + line)
    return dict(found=found, packed=packed, targets=targets, skipped=skipped,
                empty=empty, system=system, own=own, duplicates=duplicates,
                failed=failed, left=left, folders=folders)


def without_closing_lines(lines):
    """The log's message lines without the line of each mbox file closed
    and the tally (checked to add up), which tests of other things leave
    aside."""
    out = []
    for line in lines:
        if TARGET_LINE.match(line) or tally_counts(line) is not None:
            continue
        out.append(line)
    return out


def log_blocks(log):
    """The blocks of a log, each the text from its banner line on."""
    starts = [i for i in range(len(log))
              if log.startswith(BANNER + "\nCommand-line parameters:\n", i)
              and (i == 0 or log[i - 1] == "\n")]
    return [log[a:b] for a, b in zip(starts, starts[1:] + [len(log)])]


def block_messages(block, args):
    """The messages of one complete log block, or None when the block is not
    complete: banner, the arguments, Begin, messages, End, the dash rule."""
    head = (BANNER + "\nCommand-line parameters:\n" +
            "".join("   %s\n" % escaped(a) for a in args) + "Begin: ")
    if not block.startswith(head) or not block.endswith("\n" + LOG_RULE + "\n"):
        return None
    body = block[len(head):-len(LOG_RULE) - 2]
    begin_end = body.find("\n")
    end_line = body.rfind("\nEnd: ")
    if begin_end < 0 or end_line < begin_end or "\n" in body[end_line + 1:]:
        return None
    middle = body[begin_end + 1:end_line + 1]
    return without_closing_lines(middle[:-1].split("\n")) if middle else []


class TerminalRun:
    """The program with a pseudo-terminal as its controlling terminal (for
    the Yes/No questions) and standard error on a pipe."""

    def __init__(self, args, env, cwd=None):
        import pty
        import threading
        self.master, slave = pty.openpty()
        slave_name = os.ttyname(slave)
        os.close(slave)

        def take_terminal():
            os.setsid()
            os.close(os.open(slave_name, os.O_RDWR))

        self.proc = subprocess.Popen(args, env=env, cwd=cwd,
                                     stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE,
                                     preexec_fn=take_terminal)
        self.stderr = b""
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for chunk in iter(lambda: self.proc.stderr.read1(65536), b""):
            self.stderr += chunk

    def wait_for(self, text, timeout=60):
        deadline = time.time() + timeout
        while text not in self.stderr:
            if time.time() > deadline or (self.proc.poll() is not None and
                                          not self._reader.is_alive()):
                raise AssertionError("no %r in %r" % (text, self.stderr[-500:]))
            time.sleep(0.005)

    def answer(self, line):
        os.write(self.master, line)

    def finish(self, timeout=120):
        code = self.proc.wait(timeout)
        self._reader.join(timeout)
        self.proc.stderr.close()
        os.close(self.master)
        return code
