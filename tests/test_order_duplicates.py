"""Black-box tests of Order=date across folders and after old content, and
of Duplicates=skip: runs repeated with /a, copies in one run, old content
written under every [Mbox] setting, and the tally and log lines."""

import mailbox
import os
import shutil
import unittest

from qptest import BIN, HERE, QuillpackTest, crlf, message, tally_counts

GOLDEN_IN = os.path.join(HERE, "data", "mbox", "in")
SKIP = b"[Mbox]\nDuplicates=skip\n"


def dated(subject, date):
    return (b"Date: " + date.encode() + b"\nFrom: a@example.org\nSubject: " +
            subject.encode() + b"\n\nBody of " + subject.encode() + b".\n")


def subjects(path):
    box = mailbox.mbox(path)
    try:
        return [m["Subject"] for m in box]
    finally:
        box.close()


class SettingsRun(QuillpackTest):

    def program(self, ini):
        bin_dir = os.path.join(self.dir, "bin%d" % len(os.listdir(self.dir)))
        os.makedirs(bin_dir)
        program = os.path.join(bin_dir, "quillpack")
        shutil.copy2(BIN, program)
        self.write("quillpack.ini", ini, base=bin_dir)
        return program

    def pack(self, ini, *options, src=None, code=0):
        run = self.run_qp(src or self.src, self.out, "/p", *options,
                          binary=self.program(ini))
        self.assertEqual(run.code, code, run.log)
        lines = self.log_messages(run.log, closing=True)
        run.messages = [l for l in lines if not l.startswith("Tally: ")]
        run.tally = tally_counts([l for l in lines if l.startswith("Tally: ")][0])
        return run


class OrderTest(SettingsRun):

    def test_one_mbox_for_a_tree_is_in_date_order_across_folders(self):
        self.write("b/late.eml", dated("2003", "1 Jan 2003 00:00:00 +0000"))
        self.write("a/z.eml", dated("2001", "Mon, 1 Jan 2001 00:30:00 +0100"))
        self.write("top.eml", dated("none", "whenever"))
        self.write("a/y.eml", dated("2002", "1 Jan 02 00:00:00 GMT"))
        self.write("b/early.eml", dated("2000", "31 Dec 2000 23:00:00 +0000"))
        self.pack(b"[Mbox]\nOrder=date\n", "/s", "/d")
        self.assertEqual(subjects(os.path.join(self.out, "src.mbx")),
                         ["2000", "2001", "2002", "2003", "none"])

    def test_each_folder_is_ordered_on_its_own(self):
        self.write("b.eml", dated("b", "2 Jan 2001 00:00:00 +0000"))
        self.write("a.eml", dated("a", "3 Jan 2001 00:00:00 +0000"))
        self.write("sub/c.eml", dated("c", "3 Jan 2001 00:00:00 +0000"))
        self.write("sub/d.eml", dated("d", "1 Jan 2001 00:00:00 +0000"))
        self.pack(b"[Mbox]\nOrder=date\n", "/s")
        self.assertEqual(subjects(os.path.join(self.out, "src.mbx")),
                         ["b", "a"])
        self.assertEqual(subjects(os.path.join(self.out, "src", "sub.mbx")),
                         ["d", "c"])

    def test_appended_messages_follow_the_old_content_in_their_order(self):
        self.write("x.eml", dated("old", "1 Jan 2005 00:00:00 +0000"))
        self.pack(b"[Mbox]\nOrder=date\n")
        target = os.path.join(self.out, "src.mbx")
        with open(target, "rb") as f:
            old = f.read()
        os.remove(os.path.join(self.src, "x.eml"))
        self.write("m.eml", dated("new 2", "1 Jan 2002 00:00:00 +0000"))
        self.write("n.eml", dated("new 1", "1 Jan 2001 00:00:00 +0000"))
        self.pack(b"[Mbox]\nOrder=date\n", "/a")
        with open(target, "rb") as f:
            self.assertTrue(f.read().startswith(old))
        self.assertEqual(subjects(target), ["old", "new 1", "new 2"])


class StopInTheDatePassTest(SettingsRun):

    def test_a_confirmed_cancel_leaves_the_target_unopened(self):
        from test_cancel import Terminal
        for i in range(6000):
            self.write("%s/m%05d.eml" % ("ab"[i % 2], i), message("m%d" % i))
        program = self.program(b"[Mbox]\nOrder=date\n")
        term = Terminal([program, self.src, self.out, "/p", "/s", "/d"],
                        self.env(TERM="xterm"))
        term.read_until(b"FROM: /")  # the pass shows each folder it reads
        term.send(b"\x03")
        term.read_until(b"[Y/n] ")
        term.send(b"\n")
        self.assertEqual(term.wait(), 2)
        if os.path.exists(os.path.join(self.out, "src.mbx")):
            self.skipTest("the pass ended before the stop")
        with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
            lines = self.log_messages(f.read().decode("latin-1"), closing=True)
        counts = tally_counts(lines[-3])
        self.assertEqual((counts["found"], counts["left"], counts["targets"]),
                         (6000, 6000, 0))
        self.assertEqual(lines[-2:], ["Aborted by user.", "0 errors."])


class DuplicatesTest(SettingsRun):

    def test_a_second_run_adds_nothing_and_a_grown_folder_only_the_new(self):
        for name in ("a", "b", "c"):
            self.write(name + ".eml", message(name))
        first = self.pack(SKIP, "/a")
        self.assertEqual((first.tally["packed"], first.tally["duplicates"]),
                         (3, 0))
        target = os.path.join(self.out, "src.mbx")
        with open(target, "rb") as f:
            before = f.read()
        second = self.pack(SKIP, "/a")
        self.assertEqual((second.tally["packed"], second.tally["duplicates"]),
                         (0, 3))
        self.assertIn("Already in '%s': '%s'." % (
            target, os.path.join(self.src, "b.eml")), second.messages)
        with open(target, "rb") as f:
            self.assertEqual(f.read(), before)
        self.write("d.eml", message("d"))
        third = self.pack(SKIP, "/a")
        self.assertEqual((third.tally["packed"], third.tally["duplicates"]),
                         (1, 3))
        self.assertEqual(subjects(target), ["a", "b", "c", "d"])

    def test_copies_in_one_run_and_a_message_with_another_body(self):
        self.write("a.eml", message("a"))
        self.write("copy of a.eml", crlf(message("a")))
        self.write("sub/a.eml", message("a") + b"\n\n")
        self.write("other body.eml", message("a", body=b"Other line.\n"))
        run = self.pack(SKIP, "/s", "/d")
        self.assertEqual((run.tally["packed"], run.tally["duplicates"]),
                         (2, 2))
        self.assertEqual(len(subjects(os.path.join(self.out, "src.mbx"))), 2)

    def test_the_tally_names_duplicates_only_when_they_are_skipped(self):
        self.write("a.eml", message("a"))
        self.write("b.eml", message("a"))
        run = self.pack(b"[Mbox]\nDuplicates=keep\n")
        self.assertNotIn("duplicate", run.log)
        self.assertEqual(run.tally["packed"], 2)

    def test_old_content_of_every_setting_is_recognised(self):
        # Messages whose body keeps an unquoted separator line are parted
        # in two there when read back, so are packed again: 04-own always
        # (an own separator line is never quoted), 01 to 03 and 07 where
        # the writer left body lines unquoted.
        unquoted = ["01-lf.eml", "02-crlf.eml", "03-cr.eml", "04-own.eml",
                    "07-no-date.eml"]
        writers = [
            (b"[Mbox]\n", unquoted),
            (b"[Mbox]\nLineEnds=LF\nEmptyLineBetween=true\n", unquoted),
            (b"[FromLines]\nChangeAllowed=true\n", ["04-own.eml"]),
            (b"[FromLines]\nChangeAllowed=true\n[Mbox]\nQuoting=mboxrd\n"
             b"LineEnds=LF\n", ["04-own.eml"]),
            (b"[FromLines]\nChangeAllowed=true\n[Mbox]\nSeparatorDate=header\n"
             b"EmptyLineBetween=true\n", ["04-own.eml"]),
        ]
        src = os.path.join(self.dir, "in")
        shutil.copytree(GOLDEN_IN, src)
        for n, (writer, again) in enumerate(writers):
            with self.subTest(writer=writer):
                self.out = os.path.join(self.dir, "out%d" % n)
                self.pack(writer, src=src)
                run = self.pack(SKIP, "/a", src=src)
                self.assertEqual(run.tally["packed"], len(again), run.log)
                self.assertEqual(run.tally["duplicates"], 8 - len(again))
                skipped = sorted(l.split("/")[-1][:-2] for l in run.messages
                                 if l.startswith("Already in "))
                self.assertEqual(
                    sorted(set(os.listdir(src)) - set(skipped)), again)


if __name__ == "__main__":
    unittest.main()
