"""Whole runs through the real binary: targets, modes and their failures."""

import mailbox
import os
import shutil
import unittest

from qptest import FALLBACK, QuillpackTest, crlf, message, packed


class RunTest(QuillpackTest):
    def ini(self, text):
        """Runs a copy of the binary that has text as its INI file."""
        bindir = os.path.join(self.dir, "bin")
        os.makedirs(bindir, exist_ok=True)
        shutil.copy(self.binary, os.path.join(bindir, "quillpack"))
        with open(os.path.join(bindir, "quillpack.ini"), "w") as f:
            f.write(text)
        return os.path.join(bindir, "quillpack")

    def tree(self):
        """Messages in the root, x/, x/z/ and y/, and a folder without any."""
        msgs = {}
        for rel in ("a.eml", "b.eml", "x/c.eml", "x/z/d.eml", "y/e.eml",
                    "empty/sub/f.eml"):
            msgs[rel] = message(subject=rel)
            self.write(rel, msgs[rel])
        self.write("x/notes.txt", b"not matched")
        self.spec = os.path.join(self.src, "*.eml")
        return msgs

    def test_clean_run_bytes(self):
        body = b"line\nFrom the start\n>From here\n"
        self.write("m1.eml", message("one", body))
        self.write("m2.eml", b"From me@there Sun Feb 02 10:00:00 2003\r\n" +
                   message("two").replace(b"\n", b"\r\n"))
        run = self.run_qp(os.path.join(self.src, "*.eml"), self.out)
        self.assertEqual((run.code, run.stdout, run.stderr), (0, b"", b""))
        self.assertEqual(self.read("src.mbx"),
                         packed(message("one", body)) +
                         crlf(b"From me@there Sun Feb 02 10:00:00 2003\n" +
                              message("two")))

    def test_per_group_targets_with_s(self):
        msgs = self.tree()
        run = self.run_qp(self.spec, self.out, "/s")
        self.assertEqual(run.code, 0, run.stderr)
        expect = {
            "src.mbx": ["a.eml", "b.eml"],
            "src/x.mbx": ["x/c.eml"],
            "src/x/z.mbx": ["x/z/d.eml"],
            "src/y.mbx": ["y/e.eml"],
            "src/empty/sub.mbx": ["empty/sub/f.eml"],
        }
        for target, sources in expect.items():
            self.assertEqual(self.read(target),
                             b"".join(packed(msgs[s]) for s in sources), target)
        self.assertFalse(os.path.exists(os.path.join(self.out, "src/empty.mbx")))

    def test_folder_extension_naming(self):
        self.tree()
        binary = self.ini("[Names]\nMboxExtension=mbox\nFolderExtension=.sbd\n")
        run = self.run_qp(self.spec, self.out, "/s", binary=binary)
        self.assertEqual(run.code, 0, run.stderr)
        for target in ("src.mbox", "src.sbd/x.mbox", "src.sbd/x.sbd/z.mbox",
                       "src.sbd/y.mbox"):
            self.assertTrue(os.path.isfile(os.path.join(self.out, target)),
                            target)

    def test_everything_in_one_file_with_s_and_d(self):
        msgs = self.tree()
        run = self.run_qp(self.spec, self.out, "/s", "/d")
        self.assertEqual(run.code, 0, run.stderr)
        order = ["a.eml", "b.eml", "empty/sub/f.eml", "x/c.eml", "x/z/d.eml",
                 "y/e.eml"]
        self.assertEqual(self.read("src.mbx"),
                         b"".join(packed(msgs[s]) for s in order))
        self.assertEqual(os.listdir(self.out), ["src.mbx"])

    def test_d_alone_packs_the_root_as_without_it(self):
        msgs = self.tree()
        self.run_qp(self.spec, self.out, "/d")
        self.assertEqual(self.read("src.mbx"),
                         packed(msgs["a.eml"]) + packed(msgs["b.eml"]))

    def test_no_match(self):
        spec = os.path.join(self.src, "*.none")
        for p in ([], ["/p"]):
            run = self.run_qp(spec, self.out, *p)
            self.assertEqual(run.code, 1)
            text = "No matching file found '%s'." % spec
            if p:
                self.assertEqual(self.log_messages(run.log), [text])
            else:
                self.assertEqual(run.stderr.decode(), text + "\n")
        missing = os.path.join(self.src, "missing.eml")
        run = self.run_qp(missing, self.out)
        self.assertEqual((run.code, run.stderr.decode()),
                         (1, "File '%s' not found.\n" % missing))
        # An empty directory given alone becomes dir/*.*.
        run = self.run_qp(self.src, self.out)
        self.assertEqual(run.stderr.decode(),
                         "No matching file found '%s/*.*'.\n" % self.src)

    def test_non_mbox_target_with_a_per_group(self):
        msgs = self.tree()
        os.makedirs(os.path.join(self.out, "src"))
        with open(os.path.join(self.out, "src", "x.mbx"), "wb") as f:
            f.write(b"From: not an mbox\n\nhello\n")
        run = self.run_qp(self.spec, self.out, "/s", "/a", "/p")
        self.assertEqual(run.code, 2)
        target = os.path.join(self.out, "src", "x.mbx")
        self.assertEqual(self.log_messages(run.log),
                         ["Unknown format of target file '%s'." % target,
                          "1 error."])
        self.assertEqual(self.read("src/x.mbx"), b"From: not an mbox\n\nhello\n")
        self.assertEqual(self.read("src/x/z.mbx"), packed(msgs["x/z/d.eml"]))

    def test_non_mbox_target_in_single_mode_is_final(self):
        self.tree()
        os.makedirs(self.out)
        with open(os.path.join(self.out, "src.mbx"), "wb") as f:
            f.write(b"plain text\n")
        run = self.run_qp(self.spec, self.out, "/s", "/d", "/a")
        target = os.path.join(self.out, "src.mbx")
        self.assertEqual((run.code, run.stderr.decode()),
                         (2, "Unknown format of target file '%s'.\n" % target))
        self.assertEqual(self.read("src.mbx"), b"plain text\n")

    def test_append_adds_behind_existing_messages(self):
        self.write("a.eml", message("a"))
        self.run_qp(self.src, self.out)
        self.write("a.eml", message("second"))
        run = self.run_qp(self.src, self.out, "/a")
        self.assertEqual(run.code, 0)
        self.assertEqual(self.read("src.mbx"),
                         packed(message("a")) + packed(message("second")))
        # Without /a the target is written anew.
        self.run_qp(self.src, self.out)
        self.assertEqual(self.read("src.mbx"), packed(message("second")))

    def test_errors_in_sources_are_counted_in_order(self):
        self.write("a.eml", message("a"))
        self.write("b.eml", b"not a message at all\n")
        self.write("c.eml", b"Subject: no date\nFrom: x\n\n")
        self.write("d.eml", message("d"))
        self.write("e.eml", b"")
        run = self.run_qp(self.src, self.out, "/p")
        self.assertEqual(run.code, 2)
        self.assertEqual(self.log_messages(run.log), [
            "Unknown format of source file '%s/b.eml'." % self.src,
            "Unknown format of source file '%s/c.eml'." % self.src,
            "2 errors."])
        self.assertEqual(self.read("src.mbx"),
                         packed(message("a")) + packed(message("d")))
        # Without /p and without a terminal the prompts proceed.
        run = self.run_qp(self.src, self.out)
        self.assertEqual(run.code, 2)
        self.assertIn(b"b.eml'.\n\nDo you wish to proceed? [Y/n] ", run.stderr)

    def test_existing_target_inside_the_source_is_skipped(self):
        self.write("a.eml", message("a"))
        self.run_qp(self.src, self.src)
        self.assertTrue(os.path.isfile(os.path.join(self.src, "src.mbx")))
        run = self.run_qp(self.src, self.src, "/a", "/p")
        self.assertEqual(run.code, 0, run.log)
        self.assertEqual(self.read("src.mbx", base=self.src),
                         packed(message("a")) * 2)

    def test_dotted_folders(self):
        inbox = os.path.join(self.dir, ".inbox")
        self.write("a.eml", message("a"), base=inbox)
        self.write(".hidden/b.eml", message("b"), base=inbox)
        self.write(".dot.eml", message("c"), base=inbox)
        run = self.run_qp(inbox, self.out, "/s")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(self.read(".inbox.mbx"),
                         packed(message("c")) + packed(message("a")))
        self.assertEqual(self.read(".inbox/.hidden.mbx"), packed(message("b")))
        # The mbox reads back as two messages and one.
        box = mailbox.mbox(os.path.join(self.out, ".inbox.mbx"))
        self.assertEqual([m["Subject"] for m in box], ["c", "a"])
        box.close()

    def test_folder_that_cannot_be_created_is_asked_about(self):
        msgs = self.tree()
        os.makedirs(self.out)
        with open(os.path.join(self.out, "src"), "wb") as f:
            f.write(b"in the way")
        run = self.run_qp(self.spec, self.out, "/s", "/p")
        self.assertEqual(run.code, 2)
        dirmsg = "Error creating directory '%s/%%s'." % self.out
        self.assertEqual(self.log_messages(run.log),
                         [dirmsg % d for d in ("src/empty/", "src/", "src/x/",
                                               "src/")] + ["4 errors."])
        self.assertEqual(self.read("src.mbx"),
                         packed(msgs["a.eml"]) + packed(msgs["b.eml"]))

    def test_mbox_reads_back_in_a_mail_reader(self):
        for i in range(20):
            self.write("m%02d.eml" % i, message("n%d" % i, b"From x\nbody\n"))
        binary = self.ini("[FromLines]\nChangeAllowed=true\n")
        run = self.run_qp(self.src, self.out, binary=binary)
        self.assertEqual(run.code, 0)
        box = mailbox.mbox(os.path.join(self.out, "src.mbx"))
        self.assertEqual([m["Subject"] for m in box],
                         ["n%d" % i for i in range(20)])
        self.assertEqual(box[0].get_payload(), " From x\r\nbody\r\n")
        self.assertEqual(box[0].get_from(), FALLBACK[5:-1].decode())
        box.close()


if __name__ == "__main__":
    unittest.main()
