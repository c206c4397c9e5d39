"""The closing tally: every file found in exactly one class, the line of
each mbox file closed, and the system files of export folders skipped."""

import mailbox
import os
import pty
import select
import shutil
import signal
import subprocess
import time
import unittest

from qptest import QuillpackTest, message, tally_counts

NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
APPLE_DOUBLE = b"\x00\x05\x16\x07" + b"\x00" * 60
EMAIL_DATA = "/usr/lib/python3.11/test/test_email/data"


def tally(found, packed, targets, empty, system, own, failed, left, folders):
    def n(number, one, many):
        return "%d %s" % (number, one if number == 1 else many)
    return ("Tally: %s found, %d packed into %s, %d skipped (%d empty, %s, "
            "%s), %d not packed, %d not reached; %s." % (
                n(found, "file", "files"), packed,
                n(targets, "mbox file", "mbox files"), empty + system + own,
                empty, n(system, "system file", "system files"),
                n(own, "mbox file of this run", "mbox files of this run"),
                failed, left,
                n(folders, "folder could not be read",
                  "folders could not be read")))


class TallyTest(QuillpackTest):

    def every_class(self):
        """A tree with a file of every class; the unreadable source needs a
        user other than root (the program runs as nobody)."""
        if os.geteuid() != 0 or shutil.which("setpriv") is None:
            self.skipTest("an unreadable file needs root and setpriv")
        self.write("a.eml", message("a"))
        self.write("empty.eml", b"")
        self.write("Thumbs.db", b"thumbs")
        self.write("DESKTOP.INI", b"[.ShellClassInfo]\n")
        self.write(".DS_Store", b"\x00\x00\x00\x01Bud1")
        self.write("._a.eml", APPLE_DOUBLE)
        self.write("._b.eml", message("b"))   # no signature: a message
        self.write("._c", b"\x00\x05")        # too short: not a message
        self.write("bad.eml", b"not a message\n")
        self.write("locked.eml", message("locked"))
        os.chmod(os.path.join(self.src, "locked.eml"), 0)
        self.write("__MACOSX/._a.eml", APPLE_DOUBLE)
        self.write("__MACOSX/deeper/x.eml", message("x"))
        self.write("sub/c.eml", message("c"))
        self.write("sub/d.eml", message("d"))
        self.write("skipped/.DS_Store", b"x")  # a group with no target
        self.write("closed/e.eml", message("e"))  # a folder nobody may read
        # An mbox file of this run, reached through a link.
        self.write("src/sub.mbx", b"From old\r\n\r\n", base=self.out)
        os.symlink(os.path.join(self.out, "src", "sub.mbx"),
                   os.path.join(self.src, "sub", "old.eml"))
        os.chmod(self.dir, 0o755)
        for root, dirs, files in os.walk(self.dir):
            for name in dirs + files:
                os.lchown(os.path.join(root, name), 65534, 65534)
        os.chmod(os.path.join(self.src, "closed"), 0)

    def test_every_class_adds_up(self):
        self.every_class()
        proc = subprocess.run(NOBODY + [self.binary, self.src, self.out,
                                        "/s", "/p"],
                              env=self.env(), capture_output=True,
                              stdin=subprocess.DEVNULL, timeout=120)
        self.assertEqual((proc.returncode, proc.stdout), (2, b""))
        with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
            log = f.read().decode("latin-1")
        lines = self.log_messages(log, closing=True)
        src, out = self.src + "/", self.out + "/"
        self.maxDiff = None
        self.assertEqual(lines, [
            "Unknown format of source file '%s._c'." % src,
            "Unknown format of source file '%sbad.eml'." % src,
            "Error reading from file '%slocked.eml'." % src,
            "2 messages written to '%ssrc.mbx' (%d bytes)." % (
                out, os.path.getsize(out + "src.mbx")),
            "2 messages written to '%ssrc/sub.mbx' (%d bytes)." % (
                out, os.path.getsize(out + "src/sub.mbx")),
            tally(found=16, packed=4, targets=2, empty=1, system=7, own=1,
                  failed=3, left=0, folders=1),
            "3 errors."])
        self.assertEqual(sorted(os.listdir(self.out + "/src")), ["sub.mbx"])
        self.assertEqual(len(mailbox.mbox(out + "src.mbx")), 2)

    def test_a_stop_leaves_the_rest_not_reached(self):
        for i in range(4000):
            self.write("d%d/m%d.eml" % (i % 40, i), message(str(i)))
        for attempt in range(5):
            shutil.rmtree(self.out, ignore_errors=True)
            proc = subprocess.Popen([self.binary, self.src, self.out, "/s",
                                     "/d", "/p"], env=self.env(),
                                    stdin=subprocess.DEVNULL,
                                    start_new_session=True)
            time.sleep(0.05 * (attempt + 1))
            proc.send_signal(signal.SIGTERM)
            code = proc.wait(60)
            with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
                lines = self.log_messages(f.read().decode("latin-1"),
                                          closing=True)
            if code == 2 and "Aborted by user." in lines:
                break
        else:
            self.skipTest("every run ended before the stop")
        counts = tally_counts(lines[-3])
        self.assertEqual(lines[-2:], ["Aborted by user.", "0 errors."])
        self.assertLessEqual(counts["found"], 4000)  # a stop in the walk
        self.assertGreater(counts["left"], 0)
        if not os.path.exists(os.path.join(self.out, "src.mbx")):
            # Stopped in the walk (a slow build): no target was opened.
            self.assertEqual((counts["packed"], counts["targets"]), (0, 0))
            self.assertEqual(counts["found"], counts["left"])
            return
        packed = len(mailbox.mbox(os.path.join(self.out, "src.mbx")))
        self.assertEqual(counts["packed"], packed)
        self.assertEqual(counts["found"], packed + counts["left"])
        self.assertEqual(lines[-4], "%d message%s written to '%s' (%d bytes)."
                         % (packed, "" if packed == 1 else "s",
                            os.path.join(self.out, "src.mbx"),
                            os.path.getsize(os.path.join(self.out,
                                                         "src.mbx"))))

    def on_terminal(self, *options):
        """The run with standard error on a pseudo-terminal: what the
        terminal showed, and the exit code."""
        master, slave = pty.openpty()
        proc = subprocess.Popen([self.binary, self.src, self.out, *options],
                                env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        shown = b""
        while True:
            ready, _, _ = select.select([master], [], [], 30)
            try:
                chunk = os.read(master, 65536) if ready else b""
            except OSError:
                chunk = b""
            if not chunk:
                break
            shown += chunk
        code = proc.wait(30)
        stdout = proc.stdout.read()
        proc.stdout.close()
        os.close(master)
        return shown.decode("latin-1"), code, stdout

    def test_the_tally_on_a_terminal(self):
        self.write("a.eml", message("a"))
        self.write("._a.eml", APPLE_DOUBLE)
        line = tally(found=2, packed=1, targets=1, empty=0, system=1, own=0,
                     failed=0, left=0, folders=0)
        for options in ((), ("/p",)):
            with self.subTest(options=options):
                shown, code, stdout = self.on_terminal(*options)
                self.assertEqual((code, stdout), (0, b""))
                # The status display is cleared, then the line stands alone.
                self.assertTrue(shown.endswith("\x1b[J" + line + "\r\n"),
                                repr(shown[-300:]))
        # Not a terminal: nothing on standard error.
        run = self.run_qp(self.src, self.out)
        self.assertEqual((run.code, run.stdout, run.stderr), (0, b"", b""))

    def test_a_group_of_system_files_gets_no_mbox(self):
        self.write("a.eml", message("a"))
        self.write("mac/._a.eml", APPLE_DOUBLE)
        self.write("mac/.DS_Store", b"x")
        self.write("$RECYCLE.BIN/S-1/b.eml", message("b"))
        self.write("System Volume Information/c.eml", message("c"))
        run = self.run_qp(self.src, self.out, "/s", "/p")
        self.assertEqual(run.code, 0)
        self.assertEqual(sorted(os.listdir(self.out)), ["src.mbx"])
        self.assertEqual(self.log_messages(run.log, closing=True)[-2],
                         tally(found=5, packed=1, targets=1, empty=0,
                               system=4, own=0, failed=0, left=0, folders=0))

    def test_no_matching_file_still_counts(self):
        self.write("a.txt", message("a"))
        run = self.run_qp(os.path.join(self.src, "*.eml"), self.out, "/p")
        self.assertEqual(run.code, 1)
        self.assertEqual(self.log_messages(run.log, closing=True), [
            tally(0, 0, 0, 0, 0, 0, 0, 0, 0),
            "No matching file found '%s'." % os.path.join(self.src, "*.eml")])

    @unittest.skipUnless(os.path.isdir(EMAIL_DATA), "no email test data")
    def test_the_email_test_messages(self):
        files = sum(len(f) for _, _, f in os.walk(EMAIL_DATA))
        run = self.run_qp(EMAIL_DATA, self.out, "/s", "/p")
        counts = tally_counts(
            [l for l in self.log_messages(run.log, closing=True)
             if l.startswith("Tally: ")][0])
        self.assertEqual(counts["found"], files)
        self.assertEqual(counts["left"], 0)


if __name__ == "__main__":
    unittest.main()
