"""Black-box tests of the [Mbox] settings: the bytes written for each of
them against golden files, appending across settings, and the log note on
body lines left unquoted.

tests/data/mbox/in/ holds the input messages, tests/data/mbox/*.mbx the
mbox file the program writes from them under each INI file below.
"""

import os
import shutil
import signal
import subprocess
import time
import unittest

from qptest import BIN, HERE, QuillpackTest, message

DATA = os.path.join(HERE, "data", "mbox")

# golden file, INI text (None: no INI file at all)
GOLDEN = [
    ("default.mbx", None),
    ("default.mbx", b"[Mbox]\r\n"),
    ("default.mbx", b"[MBOX]\nLineEnds=crlf\nEmptyLineBetween=False\n"
                    b"SeparatorDate=Fixed\nQuoting=SPACE\n"),
    ("changeallowed.mbx", b"[FromLines]\nChangeAllowed=true\n"),
    ("changeallowed.mbx", b"[FromLines]\nChangeAllowed=true\n"
                          b"[Mbox]\nQuoting=space\n"),
    ("lf.mbx", b"[Mbox]\nLineEnds=LF\n"),
    ("empty-line.mbx", b"[Mbox]\nEmptyLineBetween=true\n"),
    ("header-date.mbx", b"[Mbox]\nSeparatorDate=header\n"),
    ("mboxrd.mbx", b"[FromLines]\nChangeAllowed=true\n[Mbox]\nQuoting=mboxrd\n"),
    ("all.mbx", b"[FromLines]\nChangeAllowed=true\n[mbox]\nlineends=lf\n"
                b"EMPTYLINEBETWEEN=True\nSeparatorDate=HEADER\nQuoting=MboxRD\n"),
    ("default.mbx", b"[Mbox]\nOrder=name\nDuplicates=skip\n"),
    # By date: obsolete forms and zones, a Received field only, a tie kept
    # in listing order (01 and 04), the undated last.
    ("date-order.mbx", b"[Mbox]\nOrder=date\n"),
    ("date-order-all.mbx", b"[FromLines]\nChangeAllowed=true\n[mbox]\n"
                           b"lineends=lf\nEmptyLineBetween=true\n"
                           b"SeparatorDate=header\nQuoting=mboxrd\n"
                           b"Order=date\nDuplicates=skip\n"),
]


class MboxSettingsTest(QuillpackTest):

    def program(self, ini):
        """A copy of the program with ini beside it (none when ini is None)."""
        bin_dir = os.path.join(self.dir, "bin%d" % len(os.listdir(self.dir)))
        os.makedirs(bin_dir)
        program = os.path.join(bin_dir, "quillpack")
        shutil.copy2(BIN, program)
        if ini is not None:
            self.write("quillpack.ini", ini, base=bin_dir)
        return program

    def pack(self, ini, src, out, *options):
        run = self.run_qp(src, out, "/p", *options, binary=self.program(ini))
        self.assertEqual(run.code, 0, run.log)
        return run


class GoldenTest(MboxSettingsTest):

    def test_each_setting_writes_its_golden_bytes(self):
        src = os.path.join(self.dir, "in")
        shutil.copytree(os.path.join(DATA, "in"), src)
        for n, (golden, ini) in enumerate(GOLDEN):
            with self.subTest(golden=golden, ini=ini):
                out = os.path.join(self.dir, "out%d" % n)
                self.pack(ini, src, out)
                with open(os.path.join(DATA, golden), "rb") as f:
                    self.assertEqual(self.read("in.mbx", base=out), f.read())


# Settings a target may have been written with, and may be appended with.
WRITERS = {
    "default": None,
    "lf": b"[Mbox]\nLineEnds=LF\n",
    "empty": b"[Mbox]\nEmptyLineBetween=true\n",
    "lf-empty": b"[Mbox]\nLineEnds=LF\nEmptyLineBetween=true\n",
    "header": b"[Mbox]\nSeparatorDate=header\n",
}


def ends_with_empty_line(data):
    """An empty line at the end as mbox readers see it: LF or CR LF right
    after an LF (a lone CR ends no line for them)."""
    return data.endswith(b"\n\n") or data.endswith(b"\n\r\n")


def fix_up(old, ini):
    """The line ends an append with ini writes after old content."""
    if not old:
        return b""
    eol = b"\n" if ini and b"LineEnds=LF" in ini else b"\r\n"
    added = b"" if old.endswith(b"\n") else eol
    if not (ini and b"EmptyLineBetween=true" in ini):
        return added
    while not ends_with_empty_line(old + added):
        added += eol
    return added


class AppendTest(MboxSettingsTest):
    """Each setting appends onto a target written with each setting, and
    onto targets that end without a line end or in a lone CR."""

    def packed_alone(self, ini, data, name):
        src = os.path.join(self.dir, "alone-" + name)
        out = src + "-out"
        self.write("m.eml", data, base=src)
        self.pack(ini, src, out)
        return self.read("alone-%s.mbx" % name, base=out)

    def test_append_matrix(self):
        first = message("first", b"One.\n")
        second = message("second", b"Two.\nFrom here\n")
        olds = {}
        for name, ini in WRITERS.items():
            olds[name] = self.packed_alone(ini, first, "old-" + name)
        base = olds["default"]
        olds["no line end"] = base[:-2]
        olds["lone CR"] = base[:-1]
        olds["empty file"] = b""
        for new_name, ini in WRITERS.items():
            fresh = self.packed_alone(ini, second, "new-" + new_name)
            for old_name, old in olds.items():
                with self.subTest(old=old_name, new=new_name):
                    src = os.path.join(self.dir, "src-%s-%s" % (old_name, new_name))
                    out = os.path.join(self.dir, "out-%s-%s" % (old_name, new_name))
                    self.write("m.eml", second, base=src)
                    os.makedirs(out)
                    target = os.path.join(out, os.path.basename(src) + ".mbx")
                    with open(target, "wb") as f:
                        f.write(old)
                    self.pack(ini, src, out, "/a")
                    with open(target, "rb") as f:
                        self.assertEqual(f.read(), old + fix_up(old, ini) + fresh)

    @unittest.skipIf(os.geteuid() == 0, "root reads every file")
    def test_a_target_that_cannot_be_read_is_still_appended_to(self):
        old = self.packed_alone(None, message("first"), "old")
        self.write("m.eml", message("second"))
        os.makedirs(self.out)
        target = os.path.join(self.out, "src.mbx")
        with open(target, "wb") as f:
            f.write(old)
        os.chmod(target, 0o200)
        self.pack(b"[Mbox]\nEmptyLineBetween=true\n", self.src, self.out, "/a")
        os.chmod(target, 0o600)
        fresh = self.packed_alone(b"[Mbox]\nEmptyLineBetween=true\n",
                                  message("second"), "new")
        # Its tail unseen, nothing is added before the new message.
        self.assertEqual(self.read("src.mbx"), old + fresh)


NOTE = 'Note: %d body line%s beginning with "From " left unchanged (see ChangeAllowed).'


class NoteTest(MboxSettingsTest):
    """The log line on body lines that many readers split a message at."""

    def messages_of(self, ini, sources, *options):
        src = os.path.join(self.dir, "notes%d" % len(os.listdir(self.dir)))
        for name, data in sources.items():
            self.write(name, data, base=src)
        run = self.run_qp(src, src + "-out", "/p", *options,
                          binary=self.program(ini))
        return src, self.log_messages(run.log)

    def test_note_lines(self):
        two = message("two", b"From here\nand From there\nFrom the end\n")
        own = b"From me@example.org Mon Jan  1 10:00:00 2001\n" + message(
            "own", b"From inside\n")
        cases = [
            ("none", None, {"a.eml": message("plain")}, ["0 errors."]),
            ("one line", None, {"a.eml": message("one", b"From here\n")},
             [NOTE % (1, ""), "0 errors."]),
            ("lines of several messages", None,
             {"a.eml": two, "b.eml": message("one", b"From here\n")},
             [NOTE % (3, "s"), "0 errors."]),
            ("a message with its own separator counts too", None,
             {"a.eml": own}, [NOTE % (1, ""), "0 errors."]),
            ("after the errors", None,
             {"a.eml": two, "b.eml": b"not a message\n"},
             ["Unknown format of source file '{src}/b.eml'.", NOTE % (2, "s"),
              "1 error."]),
            ("with mboxrd quoting off too", b"[Mbox]\nQuoting=mboxrd\n",
             {"a.eml": two}, [NOTE % (2, "s"), "0 errors."]),
            ("none once quoting is on", b"[FromLines]\nChangeAllowed=true\n",
             {"a.eml": two}, ["0 errors."]),
            ("own separators count whatever ChangeAllowed says",
             b"[FromLines]\nChangeAllowed=true\n", {"a.eml": own},
             [NOTE % (1, ""), "0 errors."]),
            ("and so do lines of do-not-change regions",
             b"[FromLines]\nChangeAllowed=true\nDoNotChange-Begin=<pre>\n"
             b"DoNotChange-End=</pre>\n",
             {"a.eml": message("pre", b"<pre>\nFrom kept\n</pre>\nFrom x\n")},
             [NOTE % (1, ""), "0 errors."]),
            ("a last line without a line end counts", None,
             {"a.eml": message("last", b"\nFrom Monday on")},
             [NOTE % (1, ""), "0 errors."]),
        ]
        for title, ini, sources, expected in cases:
            with self.subTest(title):
                src, lines = self.messages_of(ini, sources)
                self.assertEqual([l for l in lines if l],
                                 [e.format(src=src) for e in expected])

    def test_note_stands_above_the_stop(self):
        for n in range(300):
            self.write("m%03d.eml" % n, message("m%d" % n, b"From here\n"))
        target = os.path.join(self.out, "src.mbx")
        proc = subprocess.Popen([BIN, self.src, self.out, "/p"],
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=self.env(),
                                start_new_session=True)
        deadline = time.time() + 60
        while proc.poll() is None and time.time() < deadline:
            if os.path.exists(target) and os.path.getsize(target) > 0:
                break
            time.sleep(0.001)
        proc.send_signal(signal.SIGTERM)
        code = proc.wait(timeout=120)
        written = self.read("src.mbx").count(b"\r\nFrom here\r\n")
        expected = [NOTE % (written, "" if written == 1 else "s")] if written else []
        if code == 2:
            expected.append("Aborted by user.")
        expected.append("0 errors.")
        with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
            log = f.read().decode("latin-1")
        self.assertEqual([l for l in self.log_messages(log) if l], expected)


if __name__ == "__main__":
    unittest.main()
