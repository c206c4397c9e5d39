"""The closing tally of the Windows program: a tree with a file of every
class gives the same mbox bytes, the same line of each mbox file closed and
the same tally as the POSIX program."""

import os
import re
import shutil
import subprocess
import unittest

from winetest import (POSIX_BIN, WIN_BUILD, WINE, WineTest, message,
                      wine_env)
import test_tally  # the native test's tree and tally line

HOLD_EXE = os.path.join(WIN_BUILD, "quillpack_hold_file.exe")
NOBODY = test_tally.NOBODY
APPLE_DOUBLE = test_tally.APPLE_DOUBLE


def unix_form(line):
    """A log line with each quoted path in the POSIX form: Z:\\ dropped,
    separators as /, and in lower case (Windows holds folders so)."""
    def path(match):
        text = re.sub(r"^[zZ]:\\", "/", match.group(1)).replace("\\", "/")
        return "'" + text.lower() + "'"
    return re.sub(r"'([^']*)'", path, line)


class TallyTest(WineTest):

    def every_class(self):
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
        self.write("__MACOSX/._a.eml", APPLE_DOUBLE)
        self.write("__MACOSX/deeper/x.eml", message("x"))
        self.write("sub/c.eml", message("c"))
        self.write("sub/d.eml", message("d"))
        self.write("skipped/.DS_Store", b"x")  # a group with no target

    def own_mbox(self):
        """An mbox file of this run among the sources: a hard link to the
        target, made anew for each run."""
        target = self.write("src/sub.mbx", b"From old\r\n\r\n", base=self.out)
        link = os.path.join(self.src, "sub", "old.eml")
        if os.path.exists(link):
            os.remove(link)
        os.link(target, link)

    def targets(self):
        return {name: self.read(name) for name in ("src.mbx", "src/sub.mbx")}

    def posix_run(self):
        """The POSIX program as a user who cannot read locked.eml."""
        locked = os.path.join(self.src, "locked.eml")
        os.chmod(locked, 0)
        self.addCleanup(os.chmod, locked, 0o644)
        os.makedirs(os.path.join(self.dir, "tmp"), exist_ok=True)
        os.chmod(self.dir, 0o755)
        for root, dirs, files in os.walk(self.dir):
            for name in dirs + files:
                os.lchown(os.path.join(root, name), 65534, 65534)
        run = self.run_posix(*NOBODY, POSIX_BIN, self.src, self.out, "/s",
                             "/p")
        with open(os.path.join(self.dir, "tmp", "quillpack.log"), "rb") as f:
            lines = f.read().decode("latin-1").split("\n")
        begin = max(i for i, l in enumerate(lines) if l.startswith("Begin: "))
        end = max(i for i, l in enumerate(lines) if l.startswith("End: "))
        os.chmod(locked, 0o644)
        return run.code, lines[begin + 1:end]

    def windows_run(self):
        """The Windows program while another process holds locked.eml open
        without sharing it."""
        holder = subprocess.Popen(
            [WINE, HOLD_EXE, self.win(os.path.join(self.src, "locked.eml"))],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=wine_env())
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            run = self.run_exe(self.win(self.src), self.win(self.out), "/s",
                               "/p")
        finally:
            holder.stdin.close()
            holder.wait(60)
            holder.stdout.close()
        return run.code, [unix_form(l)
                          for l in self.log_messages(closing=True)]

    def test_every_class_adds_up_as_on_posix(self):
        if os.geteuid() != 0 or not os.path.isfile(POSIX_BIN):
            self.skipTest("the POSIX run needs root and build/quillpack")
        if not os.path.isfile(HOLD_EXE):
            self.fail("helper not built: %s" % HOLD_EXE)
        self.every_class()
        self.own_mbox()
        posix_code, posix_lines = self.posix_run()
        posix_targets = self.targets()
        shutil.rmtree(self.out)
        self.own_mbox()
        code, lines = self.windows_run()
        self.maxDiff = None
        self.assertEqual((code, lines),
                         (posix_code, [unix_form(l) for l in posix_lines]))
        self.assertEqual(self.targets(), posix_targets)
        # The POSIX lines are the native test's; the tally is the whole tree.
        self.assertEqual(lines[-2:], [
            test_tally.tally(found=16, packed=4, targets=2, empty=1,
                             system=7, own=1, failed=3, left=0, folders=0),
            "3 errors."])
        self.assertEqual(sorted(os.listdir(os.path.join(self.out, "src"))),
                         ["sub.mbx"])


if __name__ == "__main__":
    unittest.main()
