"""Maildir folders packed as their own mbox files, their marks read back by
real mbox readers. Every store is made here with Python's mailbox.Maildir;
names with "!2," stand for those written where a name cannot hold ":"."""

import mailbox
import os
import shutil
import subprocess

from qptest import QuillpackTest, message, tally_counts

# Subject, the Maildir flags (None: the message stays in new/), and bytes
# of its own header.
MAILDIR = [
    ("seen", "S", b""),
    ("answered flagged trashed", "FRT", b""),
    ("draft", "D", b""),
    ("unread", "", b""),
    ("just delivered", None, b""),
    ("own status", "S", b"Status: O\n"),
]
SUBFOLDERS = {
    "Sent": [("sent", "S", b"")],
    "Work": [("work", None, b"")],
    "Work.Projects": [("projects", "F", b"")],
    "Work.Projects.2024": [("year", "", b"")],
    "&AMQ-rger": [("anger", "RS", b"")],
}

# What Python's mbox reader finds in each target: subject -> its flags
# (Status: then X-Status:).
MAILDIR_FLAGS = {"seen": "RO", "answered flagged trashed": "OAFD",
                 "draft": "OT", "unread": "O", "just delivered": "",
                 "own status": "O"}
SEPARATE = {
    "Maildir.mbx": MAILDIR_FLAGS,
    "Maildir/Sent.mbx": {"sent": "RO", "plain sent": ""},
    "Maildir/Work.mbx": {"work": ""},
    "Maildir/Work/Projects.mbx": {"projects": "OF"},
    "Maildir/Work/Projects/2024.mbx": {"year": "O"},
    "Maildir/\u00c4rger.mbx": {"anger": "ROA"},
}


def fill(box, messages):
    for subject, flags, own in messages:
        data = message(subject).replace(b"\n\n", b"\n" + own + b"\n", 1)
        entry = mailbox.MaildirMessage(data)
        if flags is not None:
            entry.set_subdir("cur")
            entry.set_flags(flags)
        box.add(entry)


def make_store(path, colon=":"):
    """A Maildir with Maildir++ subfolders three levels deep, one with a
    modified UTF-7 name, a message still in tmp/, the files a server keeps
    beside them, and a plain folder Sent that meets .Sent in one target."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    mailbox.Maildir.colon = colon
    try:
        box = mailbox.Maildir(path, create=True)
        fill(box, MAILDIR)
        for name, messages in SUBFOLDERS.items():
            fill(box.add_folder(name), messages)
    finally:
        mailbox.Maildir.colon = ":"
    for name, data in [("tmp/1.M1P1.host", message("in delivery")),
                       ("dovecot-uidlist", b"3 V1 N1\n"),
                       ("Sent/plain.eml", message("plain sent"))]:
        os.makedirs(os.path.dirname(os.path.join(path, name)), exist_ok=True)
        with open(os.path.join(path, name), "wb") as f:
            f.write(data)


def flags_by_subject(path):
    box = mailbox.mbox(path, create=False)
    try:
        return {m["Subject"]: m.get_flags() for m in box}
    finally:
        box.close()


def targets(root):
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = flags_by_subject(path)
    return found


class MaildirTest(QuillpackTest):

    def tally(self, run):
        lines = self.log_messages(run.log, closing=True)
        return tally_counts([l for l in lines if l.startswith("Tally: ")][0])

    def pack(self, source, *options):
        run = self.run_qp(os.path.join(self.src, source), self.out, "/p",
                          *options)
        self.assertEqual(run.code, 0, run.log)
        return run

    def test_a_maildir_with_subfolders(self):
        for colon in (":", "!"):
            with self.subTest(colon=colon):
                shutil.rmtree(self.src, ignore_errors=True)
                make_store(os.path.join(self.src, "Maildir"), colon)
                shutil.rmtree(self.out, ignore_errors=True)
                run = self.pack("Maildir", "/s")
                self.assertEqual(targets(self.out), SEPARATE)
                # tmp/ is not walked; the uid list is a system file, the
                # five maildirfolder files are empty; Sent.mbx is opened
                # twice, and the second time appends.
                counts = self.tally(run)
                self.assertEqual(
                    [counts[k] for k in ("found", "packed", "system", "empty",
                                         "targets")], [18, 12, 1, 5, 7])

    def test_one_mbox_for_the_tree(self):
        make_store(os.path.join(self.src, "Maildir"))
        self.pack("Maildir", "/s", "/d")
        everything = {}
        for flags in SEPARATE.values():
            everything.update(flags)
        self.assertEqual(targets(self.out), {"Maildir.mbx": everything})

    def test_without_subfolders_and_as_a_subfolder(self):
        make_store(os.path.join(self.src, "mail", "Maildir"))
        self.pack("mail/Maildir")
        self.assertEqual(targets(self.out), {"Maildir.mbx": MAILDIR_FLAGS})
        shutil.rmtree(self.out)
        self.pack("mail", "/s")
        self.assertEqual(targets(self.out)["mail/Maildir.mbx"], MAILDIR_FLAGS)

    def test_sources_inside_a_maildir(self):
        make_store(os.path.join(self.src, "Maildir"))
        # A Maildir++ folder as the source loses its dot; cur/ keeps its
        # name and its messages their marks.
        self.pack("Maildir/.Work.Projects")
        self.pack("Maildir/cur")
        cur = {s: f for s, f in MAILDIR_FLAGS.items() if s != "just delivered"}
        self.assertEqual(targets(self.out), {
            "Work.Projects.mbx": {"projects": "OF"}, "cur.mbx": cur})

    def test_marks_none(self):
        make_store(os.path.join(self.src, "Maildir"))
        self.write("quillpack/quillpack.ini", b"[Mbox]\nMarks=none\n",
                   base=os.path.join(self.dir, "config"))
        self.pack("Maildir")
        self.assertEqual(targets(self.out), {"Maildir.mbx": {
            s: "O" if s == "own status" else "" for s in MAILDIR_FLAGS}})

    def test_mutt_sees_the_marks(self):
        if not shutil.which("mutt") or not shutil.which("script"):
            self.skipTest("mutt or script is not installed")
        make_store(os.path.join(self.src, "Maildir"))
        self.write("quillpack/quillpack.ini",
                   b"[Mbox]\nLineEnds=LF\nEmptyLineBetween=true\n",
                   base=os.path.join(self.dir, "config"))
        self.pack("Maildir")
        mbox = os.path.join(self.out, "Maildir.mbx")
        # mutt's patterns: new, old and unread, read, flagged, deleted,
        # replied.
        expected = {"~N": 1, "~O": 4, "~R": 1, "~F": 1, "~D": 1, "~Q": 1}
        found = {pattern: self.mutt_count(mbox, pattern, n)
                 for n, pattern in enumerate(expected)}
        self.assertEqual(found, expected)

    def mutt_count(self, mbox, pattern, n):
        """The messages mutt tags with pattern, each piped to a file of its
        own; mutt runs under script(1), its keys pushed from a muttrc."""
        work = os.path.join(self.dir, "mutt%d" % n)
        out = os.path.join(work, "out")
        os.makedirs(out)
        sink = os.path.join(work, "sink.sh")
        with open(sink, "w") as f:
            f.write('n=$(ls "%s" | wc -l)\ncat > "%s/$n"\n' % (out, out))
        muttrc = os.path.join(work, "muttrc")
        with open(muttrc, "w") as f:
            f.write('set folder="%s" record=/dev/null sort=mailbox-order '
                    'pipe_split=yes pipe_decode=no wait_key=no beep=no '
                    'mark_old=no\n' % work)
            f.write('push "<tag-pattern>%s<enter><tag-prefix><pipe-message>'
                    'sh %s<enter><quit>"\n' % (pattern, sink))
        env = dict(os.environ, TERM="vt100", HOME=work)
        subprocess.run(["script", "-qec",
                        "mutt -n -F '%s' -R -f '%s'" % (muttrc, mbox),
                        "/dev/null"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=env, timeout=120)
        return len(os.listdir(out))


if __name__ == "__main__":
    import unittest
    unittest.main()
