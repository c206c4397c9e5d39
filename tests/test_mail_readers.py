"""Real mbox readers open what the program writes with the settings meant
for them (LF line ends, an empty line before each separator line, quoted
body lines) and find exactly one message per source file.

The messages are those of Python's own e-mail tests (Debian package
libpython3.11-testsuite, read where it is installed, never copied into this
tree) that make an unambiguous count, and a few written here. The readers
are Debian packages: Python's mailbox module, mutt, formail (procmail),
GNU mailutils and grepmail. A reader that is not installed is skipped.
"""

import glob
import mailbox
import os
import shutil
import subprocess

from qptest import BIN, QuillpackTest, message

INTEROP = (b"[FromLines]\nChangeAllowed=true\n"
           b"[Mbox]\nLineEnds=LF\nEmptyLineBetween=true\n")
SETTINGS = {
    "lf-empty-line": INTEROP,
    "header-dates": INTEROP + b"SeparatorDate=header\n",
    "mboxrd": INTEROP + b"Quoting=mboxrd\n",
}

OWN_MESSAGES = [
    message("plain"),
    message("body From lines", b"Hi.\n\nFrom here on\n>From there\nFrom\n"),
    message("crlf", b"one\r\ntwo\r\n\r\nFrom three\r\n").replace(b"\n", b"\r\n"),
    message("no final line end", b"last line"),
    message("ends with an empty line", b"text\n\n"),
    b"From me@example.org Mon Jan  1 10:00:00 2001\n" + message("own separator"),
    b"Return-Path: <bounce@example.org>\nReceived: by mx; Tue, 2 Jan 2001 "
    b"03:04:05 +0100\n" + message("return path"),
]


def header_block(data):
    text = data.replace(b"\r\n", b"\n").replace(b"\r", b"\n")
    return text.split(b"\n\n", 1)[0].split(b"\n")


def unambiguous(data):
    """A message every reader counts once: no separator line of its own,
    no Content-Length field (LF conversion makes it wrong), the date and
    from fields the program looks for."""
    lines = header_block(data)
    if not lines or lines[0].startswith(b"From ") or b":" not in lines[0]:
        return False
    names = [l.split(b":", 1)[0].strip().lower() for l in lines
             if l and l[:1] not in (b" ", b"\t")]
    return (b"content-length" not in names and b"date" in names
            and b"from" in names)


def corpus_messages():
    found = []
    for directory in sorted(glob.glob("/usr/lib/python3*/test/test_email/data")):
        for path in sorted(glob.glob(os.path.join(directory, "msg_*.txt"))):
            with open(path, "rb") as f:
                data = f.read()
            if unambiguous(data):
                found.append(data)
        if found:
            break
    return found


def count_python_mailbox(path, work):
    box = mailbox.mbox(path, create=False)
    try:
        return len(box.keys())
    finally:
        box.close()


def count_sink_files(work):
    return len(os.listdir(os.path.join(work, "out")))


def make_sink(work):
    """A script that stores its standard input as the next file in out/."""
    os.makedirs(os.path.join(work, "out"))
    script = os.path.join(work, "sink.sh")
    with open(script, "w") as f:
        f.write('n=$(ls "%s/out" | wc -l)\ncat > "%s/out/$n"\n' % (work, work))
    return script


def count_formail(path, work):
    sink = make_sink(work)
    with open(path, "rb") as f:
        subprocess.run(["formail", "-s", "sh", sink], stdin=f, check=True,
                       timeout=300)
    return count_sink_files(work)


def count_mutt(path, work):
    """mutt with no terminal of its own: under script(1), its keys pushed
    from a muttrc, each message piped apart into the sink."""
    sink = make_sink(work)
    muttrc = os.path.join(work, "muttrc")
    with open(muttrc, "w") as f:
        f.write('set folder="%s" record=/dev/null sort=mailbox-order '
                'pipe_split=yes pipe_decode=no wait_key=no beep=no\n' % work)
        f.write('push "<tag-pattern>~A<enter><tag-prefix><pipe-message>'
                'sh %s<enter><quit>"\n' % sink)
    env = dict(os.environ, TERM="vt100", HOME=work)
    subprocess.run(["script", "-qec",
                    "mutt -n -F '%s' -z -R -f '%s'" % (muttrc, path),
                    "/dev/null"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=env, timeout=300)
    return count_sink_files(work)


def count_mailutils(path, work):
    run = subprocess.run(["mail.mailutils", "-n", "-N", "-H", "-E",
                          'set headline="@@%s"', "-f", "mbox://" + path],
                         stdin=subprocess.DEVNULL, capture_output=True,
                         env=dict(os.environ, HOME=work), timeout=300)
    return sum(1 for line in run.stdout.split(b"\n") if line.startswith(b"@@"))


def count_grepmail(path, work):
    run = subprocess.run(["grepmail", "-r", ".", path], capture_output=True,
                         stdin=subprocess.DEVNULL, timeout=300)
    text = run.stdout.decode("utf-8", "replace").strip()
    return int(text.rsplit(":", 1)[1]) if text else 0


READERS = {
    "python-mailbox": (None, count_python_mailbox),
    "mutt": ("mutt", count_mutt),
    "formail": ("formail", count_formail),
    "mailutils": ("mail.mailutils", count_mailutils),
    "grepmail": ("grepmail", count_grepmail),
}


class MailReaderTest(QuillpackTest):

    @classmethod
    def setUpClass(cls):
        cls.messages = corpus_messages() + OWN_MESSAGES

    def pack(self, ini):
        bin_dir = os.path.join(self.dir, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        program = os.path.join(bin_dir, "quillpack")
        shutil.copy2(BIN, program)
        self.write("quillpack.ini", ini, base=bin_dir)
        shutil.rmtree(self.out, ignore_errors=True)
        run = self.run_qp(self.src, self.out, "/p", binary=program)
        self.assertEqual(run.code, 0, run.log)
        return os.path.join(self.out, "src.mbx")

    def check_reader(self, name):
        command, count = READERS[name]
        if command and not shutil.which(command):
            self.skipTest("%s is not installed" % command)
        if name == "mutt" and not shutil.which("script"):
            self.skipTest("script is not installed")
        for n, data in enumerate(self.messages):
            self.write("m%03d.eml" % n, data)
        for setting, ini in SETTINGS.items():
            with self.subTest(setting=setting):
                path = self.pack(ini)
                work = os.path.join(self.dir, "work-" + setting)
                os.makedirs(work)
                self.assertEqual(count(path, work), len(self.messages))

    def test_python_mailbox(self):
        self.check_reader("python-mailbox")

    def test_mutt(self):
        self.check_reader("mutt")

    def test_formail(self):
        self.check_reader("formail")

    def test_mailutils(self):
        self.check_reader("mailutils")

    def test_grepmail(self):
        self.check_reader("grepmail")


if __name__ == "__main__":
    import unittest
    unittest.main()
