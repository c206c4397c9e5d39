"""Apple Mail's files and mailboxes under Wine: the Windows program writes
the same mbox files as the POSIX program from the same store, partial
messages put back from their Attachments folders, and the same log lines
and tally."""

import os
import re

from winetest import WineTest
import test_wine_run
from test_wine_tally import unix_form
import test_apple_mail  # the native test's store


class AppleMailTest(WineTest):

    INI = b"[Names]\r\nMboxExtension=.mbx\r\n"
    run_both = test_wine_run.SameBytesAsPosixTest.run_both
    assert_same_trees = test_wine_run.SameBytesAsPosixTest.assert_same_trees

    def make_tree(self):
        test_apple_mail.write_mailbox(self.write)
        test_apple_mail.write_partial(
            self.write, os.path.join("Loose", "Messages"))
        self.write("renamed.eml", test_apple_mail.emlx(
            test_apple_mail.message("renamed"), flags=4))

    def log_lines(self, kind):
        if kind == "win":
            lines = self.log_messages(closing=True)
        else:
            with open(os.path.join(self.dir, "tmp", "quillpack.log"),
                      "rb") as f:
                lines = f.read().decode("latin-1").split("\n")
            begin = max(i for i, l in enumerate(lines)
                        if l.startswith("Begin: "))
            end = max(i for i, l in enumerate(lines)
                      if l.startswith("End: "))
            lines = lines[begin + 1:end]
        return [re.sub(r"/(bin|out)-(win|posix)/", r"/\1/", unix_form(line))
                for line in lines]

    def test_the_same_mbox_files_as_posix(self):
        self.make_tree()
        results = self.run_both("/s", "/p")
        self.assertEqual(results["win"][0], 2,  # parts 7 and 8 are missing
                         self.log_lines("win"))
        self.assertEqual(results["posix"][0], 2)
        self.assert_same_trees(results["win"][1], results["posix"][1])
        self.assertTrue(os.path.isfile(
            os.path.join(results["win"][1], "src", "INBOX.mbx")))
        lines = self.log_lines("win")
        self.assertEqual(lines, self.log_lines("posix"))
        self.assertIn("Attachments 7, 8 of '%s' not found." % os.path.join(
            self.src, "loose", "messages", "1234.partial.emlx").lower(), lines)


if __name__ == "__main__":
    import unittest
    unittest.main()
