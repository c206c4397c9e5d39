"""Faults met by the real program: a source tree that changes under it,
sources it cannot open, targets it cannot create, lock or grow, a full disk,
awkward names and awkward bytes.

After every run the same things must hold: the source tree is unchanged,
the exit code and the message are the documented ones, every message that a
target holds is the mbox form of one source file (at most a last one cut by
a failed write), and with /p the log block is complete from the banner to
the dash rule.
"""

import fcntl
import os
import resource
import shutil
import subprocess
import unittest

from qptest import (QuillpackTest, TerminalRun, block_messages, log_blocks,
                    match_messages, mbox_entry, message, tree_state)

GIB2 = 2 ** 31
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


def body(size, line=b"x" * 99):
    """A message body of about size bytes in lines of 100."""
    return (line + b"\n") * max(1, size // (len(line) + 1))


class FaultTest(QuillpackTest):

    def setUp(self):
        super().setUp()
        self.mounts = []

    def tearDown(self):
        for path in reversed(self.mounts):
            subprocess.run(["umount", "-l", path], stderr=subprocess.DEVNULL)
        super().tearDown()

    # ---- running and the checks after every run ----

    def sources(self, files, base=None):
        for name, data in files.items():
            self.write(name, data, base)

    def settle(self):
        """The source tree as it must stay from here on."""
        self.settled = tree_state(self.src)

    def pack(self, *options, spec=None, out=None, prefix=(), settle=True,
             cwd=None):
        """Runs the program over the sources and checks what every run must
        leave; the messages of the log with /p, else the standard error."""
        if settle:
            self.settle()
        args = [spec or self.src, out or self.out, *options]
        proc = subprocess.run([*prefix, self.binary, *args],
                              stdin=subprocess.DEVNULL, capture_output=True,
                              env=self.env(), timeout=120, cwd=cwd,
                              start_new_session=True)
        self.check_after(proc.returncode, args)
        return proc

    def check_after(self, code, args):
        self.assertIn(code, (0, 1, 2, 3))
        self.assertEqual(tree_state(self.src), self.settled,
                         "a source changed")
        self.messages = None
        if "/p" in args:
            with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
                blocks = log_blocks(f.read().decode("utf-8", "surrogateescape"))
            self.assertTrue(blocks, "no log block")
            self.messages = block_messages(blocks[-1], args)
            self.assertIsNotNone(self.messages,
                                 "log block not complete: %r" % blocks[-1])

    def assert_messages(self, proc, code, *lines):
        self.assertEqual(proc.returncode, code, proc.stderr)
        self.assertEqual(self.messages, list(lines))

    def assert_target(self, relpath, names, base=None, allow_cut=False,
                      whole=True):
        """The target holds the named sources in order; with whole, all of
        them and nothing else."""
        with open(os.path.join(self.out, relpath), "rb") as f:
            target = f.read()
        entries = [mbox_entry(self.read(n, base or self.src)) for n in names]
        split = match_messages(target, entries, allow_cut)
        self.assertIsNotNone(split, "target %s does not split into messages"
                             % relpath)
        if whole:
            self.assertEqual(split, list(range(len(names))))
        return split

    def mount_tmpfs(self, path, size):
        if os.geteuid() != 0:
            self.skipTest("mounting a small tmpfs needs root")
        os.makedirs(path, exist_ok=True)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size,
                               "tmpfs", path], capture_output=True)
        if done.returncode != 0:
            self.skipTest("cannot mount a tmpfs: %s" % done.stderr.decode())
        self.mounts.append(path)

    def fill(self, directory, leave=0, name="filler"):
        """Fills the file system of directory up to leave bytes."""
        st = os.statvfs(directory)
        free = st.f_bavail * st.f_frsize - leave
        with open(os.path.join(directory, name), "wb") as f:
            while free > 0:
                try:
                    f.write(b"\0" * min(free, 65536))
                    f.flush()
                except OSError:
                    break
                free -= 65536

    def drop_privileges(self):
        if os.geteuid() != 0 or shutil.which("setpriv") is None:
            self.skipTest("dropping privileges needs root and setpriv")
        for d in (self.dir, self.src):
            os.chmod(d, 0o755)
        os.makedirs(self.out)
        for d in (self.out, self.tmp):
            os.chown(d, 65534, 65534)
        return NOBODY

    # ---- a source tree that changes between listing and packing ----

    def test_sources_removed_or_replaced_after_the_listing(self):
        # The first source is no message: its question holds the run after
        # the listing, while the tree changes under it.
        self.sources({"0-first.eml": b"not a message\n",
                      "a.eml": message("a"), "b.eml": message("b"),
                      "c.eml": message("c"), "d.eml": message("d"),
                      "e.eml": message("e"), "p.eml": message("p"),
                      "z.eml": message("z"),
                      "gone/f.eml": message("f"), "kept/g.eml": message("g")})
        self.settle()
        run = TerminalRun([self.binary, self.src, self.out, "/s"], self.env())
        run.wait_for(b"Do you wish to proceed? [Y/n] ")
        os.remove(os.path.join(self.src, "b.eml"))
        os.remove(os.path.join(self.src, "c.eml"))
        os.mkdir(os.path.join(self.src, "c.eml"))
        os.remove(os.path.join(self.src, "d.eml"))
        os.symlink("nowhere", os.path.join(self.src, "d.eml"))
        os.remove(os.path.join(self.src, "p.eml"))
        os.mkfifo(os.path.join(self.src, "p.eml"))
        os.remove(os.path.join(self.src, "z.eml"))
        os.symlink("/dev/zero", os.path.join(self.src, "z.eml"))
        shutil.rmtree(os.path.join(self.src, "gone"))
        self.settle()
        run.answer(b"y\n" * 10)
        code = run.finish()
        self.check_after(code, [])
        self.assertEqual(code, 2)
        stderr = run.stderr.decode()
        for name in ("b.eml", "c.eml", "d.eml", "p.eml", "z.eml",
                     "gone/f.eml"):
            self.assertIn("Error reading from file '%s'." % os.path.join(
                self.src, name), stderr)
        self.assertEqual(stderr.count("Do you wish to proceed?"), 7)
        self.assert_target("src.mbx", ["a.eml", "e.eml"])
        self.assertEqual(self.read("src/gone.mbx"), b"")
        self.assert_target("src/kept.mbx", ["kept/g.eml"])

    def test_an_unreadable_directory_is_skipped(self):
        if os.geteuid() == 0:
            prefix = self.drop_privileges()
        else:
            prefix = ()
            os.makedirs(self.out)
        self.sources({"a.eml": message("a"), "closed/b.eml": message("b"),
                      "open/c.eml": message("c")})
        os.chmod(os.path.join(self.src, "closed"), 0)
        proc = self.pack("/s", "/p", prefix=prefix)
        self.assert_messages(proc, 0, "0 errors.")
        self.assert_target("src.mbx", ["a.eml"])
        self.assert_target("src/open.mbx", ["open/c.eml"])
        self.assertFalse(os.path.exists(os.path.join(self.out, "src/closed.mbx")))

    # ---- sources that cannot be opened ----

    def test_a_dangling_link_is_no_source(self):
        self.sources({"a.eml": message("a")})
        os.symlink("nowhere.eml", os.path.join(self.src, "b.eml"))
        proc = self.pack("/p")
        self.assert_messages(proc, 0, "0 errors.")
        self.assert_target("src.mbx", ["a.eml"])
        # Named on its own it is a file that is not there.
        spec = os.path.join(self.src, "b.eml")
        proc = self.pack("/p", spec=spec)
        self.assert_messages(proc, 1, "File '%s' not found." % spec)

    def test_an_unreadable_source_is_reported_and_passed(self):
        prefix = self.drop_privileges()
        self.sources({"a.eml": message("a"), "b.eml": message("b"),
                      "c.eml": message("c")})
        os.chmod(os.path.join(self.src, "b.eml"), 0)
        proc = self.pack("/p", prefix=prefix)
        self.assert_messages(
            proc, 2, "Error reading from file '%s'."
            % os.path.join(self.src, "b.eml"), "1 error.")
        self.assert_target("src.mbx", ["a.eml", "c.eml"])

    def test_special_files_in_the_tree_are_not_read(self):
        self.sources({"a.eml": message("a")})
        os.mkfifo(os.path.join(self.src, "pipe.eml"))
        os.symlink("/dev/zero", os.path.join(self.src, "zero.eml"))
        proc = self.pack("/p")
        self.assert_messages(proc, 0, "0 errors.")
        self.assert_target("src.mbx", ["a.eml"])

    # ---- targets that cannot be made ----

    def test_a_file_in_the_way_of_a_target_directory(self):
        self.sources({"a.eml": message("a"), "work/b.eml": message("b"),
                      "work/deep/c.eml": message("c")})
        os.makedirs(self.out)
        with open(os.path.join(self.out, "src"), "wb") as f:
            f.write(b"in the way")
        proc = self.pack("/s", "/p")
        directory = os.path.join(self.out, "src") + "/"
        self.assert_messages(
            proc, 2, "Error creating directory '%s'." % directory,
            "Error creating directory '%s'." % (directory + "work/"),
            "2 errors.")
        self.assert_target("src.mbx", ["a.eml"])
        self.assertEqual(self.read("src"), b"in the way")

    def test_a_file_in_the_way_of_the_output_directory(self):
        self.sources({"a.eml": message("a")})
        blocker = os.path.join(self.dir, "blocker")
        with open(blocker, "wb") as f:
            f.write(b"x")
        out = os.path.join(blocker, "out")
        proc = self.pack("/p", out=out)
        self.assert_messages(proc, 3, "Error creating directory '%s'." % out,
                             "Program aborted.")

    def test_a_directory_in_the_place_of_the_target(self):
        self.sources({"a.eml": message("a"), "work/b.eml": message("b")})
        os.makedirs(os.path.join(self.out, "src.mbx"))
        proc = self.pack("/s", "/p")
        target = os.path.join(self.out, "src.mbx")
        self.assert_messages(proc, 2, "Error creating file '%s'." % target,
                             "1 error.")
        self.assert_target("src/work.mbx", ["work/b.eml"])

    # ---- a target locked by another process ----

    def locked_target(self):
        """The target locked by this process, which must therefore keep
        every descriptor of it open: closing one drops the lock."""
        os.makedirs(self.out)
        path = os.path.join(self.out, "src.mbx")
        old = mbox_entry(message("old"))
        with open(path, "wb") as f:
            f.write(old)
        holder = open(path, "r+b")
        self.addCleanup(holder.close)
        fcntl.lockf(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        self.unchanged = lambda: self.assertEqual(
            os.pread(holder.fileno(), len(old) + 1, 0), old)
        return path

    def test_a_locked_target_is_left_alone(self):
        self.sources({"a.eml": message("a"), "work/b.eml": message("b")})
        path = self.locked_target()
        for option, text in ((None, "Error creating file '%s'."),
                             ("/a", "Error appending to file '%s'.")):
            with self.subTest(option=option):
                shutil.rmtree(os.path.join(self.out, "src"), True)
                options = ["/s", "/p"] + ([option] if option else [])
                proc = self.pack(*options)
                self.assert_messages(proc, 2, text % path, "1 error.")
                self.unchanged()
                self.assert_target("src/work.mbx", ["work/b.eml"])

    def test_a_locked_single_target_ends_the_run(self):
        self.sources({"a.eml": message("a"), "work/b.eml": message("b")})
        path = self.locked_target()
        proc = self.pack("/s", "/d", "/p")
        self.assert_messages(proc, 2, "Error creating file '%s'." % path)
        self.unchanged()

    # ---- a disk that fills, a file size limit ----

    def test_a_disk_that_fills_in_the_middle_of_a_message(self):
        disk = os.path.join(self.dir, "disk")
        self.mount_tmpfs(disk, "1m")
        out = os.path.join(disk, "out")
        self.out = out
        self.sources({"%d.eml" % i: message(str(i), body(300000))
                      for i in range(4)})
        for options in (["/p"], ["/s", "/d", "/p"]):
            with self.subTest(options=options):
                proc = self.pack(*options, out=out)
                self.assert_messages(
                    proc, 3, "Not enough space available on drive %s/."
                    % out, "Program aborted.")
                # Cut back to the messages that went in whole.
                self.assert_target("src.mbx", ["0.eml", "1.eml", "2.eml"])

    def test_a_full_disk_before_the_first_message(self):
        disk = os.path.join(self.dir, "disk")
        self.mount_tmpfs(disk, "256k")
        self.out = out = os.path.join(disk, "out")
        os.makedirs(out)
        # An old target that fills its last page and lacks its final line
        # end: appending must first write one, which needs a new page.
        head = mbox_entry(message("old"))
        old = head + b"x" * (4096 - len(head))
        path = os.path.join(out, "src.mbx")
        with open(path, "wb") as f:
            f.write(old)
        self.fill(disk)
        self.sources({"a.eml": message("a")})
        proc = self.pack("/a", "/p", out=out)
        self.assert_messages(proc, 3, "Not enough space available on drive "
                             "%s/." % out, "Program aborted.")
        self.assertEqual(self.read("src.mbx"), old)
        os.remove(path)
        self.fill(disk, name="filler2")
        proc = self.pack("/p", out=out)
        self.assert_messages(proc, 3, "Not enough space available on drive "
                             "%s/." % out, "Program aborted.")
        self.assertEqual(self.read("src.mbx"), b"")

    def test_a_log_on_a_full_disk_changes_no_outcome(self):
        disk = os.path.join(self.dir, "disk")
        self.mount_tmpfs(disk, "64k")
        self.fill(disk)
        self.tmp = disk + "/"
        self.sources({"a.eml": message("a"), "b.eml": b"no message\n"})
        self.settle()
        proc = subprocess.run([self.binary, self.src, self.out, "/p"],
                              stdin=subprocess.DEVNULL, capture_output=True,
                              env=self.env(), timeout=60)
        self.check_after(proc.returncode, [])
        self.assertEqual(proc.returncode, 2)
        self.assert_target("src.mbx", ["a.eml"])

    def test_a_file_size_limit_in_the_middle_of_a_message(self):
        self.sources({"%d.eml" % i: message(str(i), body(300000))
                      for i in range(4)})
        limit = 700000

        def limited():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        self.settle()
        args = [self.src, self.out, "/p"]
        proc = subprocess.run([self.binary, *args], preexec_fn=limited,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              env=self.env(), timeout=60)
        self.check_after(proc.returncode, args)
        self.assert_messages(
            proc, 2, "Error writing to file '%s'."
            % os.path.join(self.out, "src.mbx"), "1 error.")
        self.assert_target("src.mbx", ["0.eml", "1.eml"])

    # ---- the 2 GiB limit, with sparse targets ----

    def sparse_target(self, size, last=b""):
        os.makedirs(self.out, exist_ok=True)
        path = os.path.join(self.out, "src.mbx")
        head = mbox_entry(message("old"))
        with open(path, "wb") as f:
            f.write(head)
            f.truncate(size - len(last))
            f.seek(0, os.SEEK_END)
            f.write(last)
        return path, head

    def tail(self, path, count):
        with open(path, "rb") as f:
            f.seek(-count, os.SEEK_END)
            return f.read()

    def test_a_target_at_the_limit_takes_one_more_message(self):
        self.sources({"a.eml": message("a"), "b.eml": message("b")})
        path, head = self.sparse_target(GIB2)
        proc = self.pack("/a", "/p")
        self.assert_messages(
            proc, 2, "The file '%s' is too big (> 2 GiB)." % path, "1 error.")
        entry = mbox_entry(message("a"))
        self.assertEqual(os.path.getsize(path), GIB2 + 2 + len(entry))
        self.assertEqual(self.tail(path, len(entry) + 3),
                         b"\0\r\n" + entry)
        with open(path, "rb") as f:
            self.assertEqual(f.read(len(head)), head)

    def test_a_target_above_the_limit_is_not_touched(self):
        self.sources({"a.eml": message("a")})
        path, head = self.sparse_target(GIB2 + 1, b"\n")
        proc = self.pack("/a", "/p")
        self.assert_messages(
            proc, 2, "The file '%s' is too big (> 2 GiB)." % path, "1 error.")
        self.assertEqual(os.path.getsize(path), GIB2 + 1)
        self.assertEqual(self.tail(path, 2), b"\0\n")

    def test_a_full_disk_just_below_the_limit(self):
        # The message would cross the limit and does not fit on the disk:
        # it is cut back and the full disk is what the run reports.
        disk = os.path.join(self.dir, "disk")
        self.mount_tmpfs(disk, "1m")
        self.out = os.path.join(disk, "out")
        path, head = self.sparse_target(GIB2 - 100, b"\n")
        self.fill(disk, leave=64 * 1024)
        self.sources({"a.eml": message("a", body(300000))})
        proc = self.pack("/a", "/p")
        self.assert_messages(
            proc, 3, "Not enough space available on drive %s/." % self.out,
            "Program aborted.")
        self.assertEqual(os.path.getsize(path), GIB2 - 100)

    # ---- awkward names ----

    def test_names_with_blanks_utf8_dashes_and_line_feeds(self):
        folder = "-mail box \u00fc\n2"
        self.src = os.path.join(self.dir, folder)
        names = ["-a b.eml", "\u00e9t\u00e9.eml", "new\nline.eml", "--.eml"]
        self.sources({n: message(n) for n in names})
        self.sources({"sub dir \u00f6/-x.eml": message("x")})
        # Relative paths that begin with a dash, as a shell hands them over.
        proc = self.pack("/s", "/p", spec=folder, out="-out dir", cwd=self.dir)
        self.assert_messages(proc, 0, "0 errors.")
        self.out = os.path.join(self.dir, "-out dir")
        self.assert_target(folder + ".mbx", sorted(
            n.encode() for n in names), base=self.src.encode())
        self.assert_target(os.path.join(folder, "sub dir \u00f6.mbx"),
                           ["sub dir \u00f6/-x.eml"])

    def test_subdirectories_named_with_wildcards(self):
        # Legal names on POSIX, and ordinary characters there: such a folder
        # gets its mbox and the folder for the mbox files of its subfolders.
        self.sources({"a.eml": message("a"), "what?/b.eml": message("b"),
                      "what?/deep/c.eml": message("c"),
                      "*/d.eml": message("d")})
        proc = self.pack("/s", "/p")
        self.assert_messages(proc, 0, "0 errors.")
        self.assert_target("src.mbx", ["a.eml"])
        self.assert_target("src/what?.mbx", ["what?/b.eml"])
        self.assert_target("src/what?/deep.mbx", ["what?/deep/c.eml"])
        self.assert_target("src/*.mbx", ["*/d.eml"])

    # ---- awkward bytes ----

    def test_binary_empty_and_nul_sources(self):
        all_bytes = bytes(range(256)) * 40
        self.sources({
            "binary.eml": message("binary", all_bytes),
            "empty.eml": b"",
            "noise.eml": bytes((i * 7919) % 256 for i in range(5000)),
            "nul header.eml": b"Subject: a\0b\nDa\0te: x\n" + message("nul"),
            "nul name.eml": b"Dat\0e: x\nFrom: y\n\nbody\n",
        })
        proc = self.pack("/p")
        self.assert_messages(
            proc, 2,
            "Unknown format of source file '%s'." % os.path.join(
                self.src, "noise.eml"),
            "Unknown format of source file '%s'." % os.path.join(
                self.src, "nul name.eml"),
            "2 errors.")
        self.assert_target("src.mbx", ["binary.eml", "nul header.eml"])

    def test_lines_of_ten_megabytes(self):
        long = b"y" * (10 * 2 ** 20)
        self.sources({
            "a body line.eml": message("a", b"start\n" + long + b"\nend\n"),
            "b header line.eml": b"X-Long: " + long + b"\n" + message("b"),
            "c own separator.eml": b"From " + long + b"\n" + message("c"),
            "d separator in header.eml": (b"Subject: d\nFrom " + long +
                                          b"\n" + message("d")),
            "e no line end.eml": message("e", b"x\r" + long),
            "f cr at the end.eml": message("f", long + b"\r"),
        })
        proc = self.pack("/p")
        self.assert_messages(proc, 0, "0 errors.")
        self.assert_target("src.mbx", sorted(os.listdir(self.src)))


if __name__ == "__main__":
    unittest.main()
