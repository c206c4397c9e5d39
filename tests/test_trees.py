"""Trees that fight back: paths past the system limit, links to the target,
the program's own output among the sources, names with "*" or "?", names
that hold control characters, and a stop that must stop.

Each run must end, with the exit code and the messages documented, every
regular file that matched packed once or named in an error, and every
target holding whole messages only.
"""

import fcntl
import os
import pty
import resource
import select
import signal
import struct
import subprocess
import termios
import threading
import time
import unittest

from qptest import (FALLBACK, QuillpackTest, crlf, escaped, message,
                    packed)

PATH_MAX = os.pathconf("/", "PC_PATH_MAX")
PROCEED = b"Do you wish to proceed? [Y/n] "
ABORT = b"Do you really want to abort the program? [Y/n] "


# ---- Trees past PATH_MAX, made and read a directory at a time ----

def deep_files(base, levels, every, name="d"):
    """Makes levels nested folders under base, a message every `every`
    levels; the messages by depth."""
    messages = {}
    fd = os.open(base, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for depth in range(1, levels + 1):
            os.mkdir(name, dir_fd=fd)
            child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = child
            if depth % every == 0:
                data = message("depth %d" % depth)
                out = os.open("m.eml", os.O_WRONLY | os.O_CREAT, 0o644,
                              dir_fd=fd)
                os.write(out, data)
                os.close(out)
                messages[depth] = data
    finally:
        os.close(fd)
    return messages


def deep_read(base, parts):
    """The bytes of base/parts[0]/.../parts[-1], or None when missing."""
    try:
        fd = os.open(base, os.O_RDONLY | os.O_DIRECTORY)
    except OSError:
        return None
    try:
        for part in parts[:-1]:
            child = os.open(part, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = child
        leaf = os.open(parts[-1], os.O_RDONLY, dir_fd=fd)
    except OSError:
        os.close(fd)
        return None
    os.close(fd)
    with os.fdopen(leaf, "rb") as f:
        return f.read()


def low_file_limit():
    resource.setrlimit(resource.RLIMIT_NOFILE, (256, 256))


class TreesTest(QuillpackTest):

    def tearDown(self):
        # rm copes with trees deeper than Python's recursion.
        subprocess.run(["chmod", "-R", "u+rwx", self.dir],
                       stderr=subprocess.DEVNULL)
        subprocess.run(["rm", "-rf", self.dir])
        super().tearDown()

    def pack(self, *args, preexec=None, timeout=600, command=False):
        proc = subprocess.run(list(args) if command else [self.binary, *args],
                              stdin=subprocess.DEVNULL,
                              capture_output=True, env=self.env(),
                              timeout=timeout, preexec_fn=preexec,
                              start_new_session=True)
        return proc, self.log_messages(self.read_log()) if "/p" in args else None

    def read_log(self):
        with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
            return f.read().decode("utf-8", "surrogateescape")

    def assert_clean(self, proc, messages):
        self.assertEqual((proc.returncode, proc.stderr), (0, b""))
        self.assertEqual(messages, ["0 errors."])

    # ---- deep trees ----

    def check_deep_tree(self, levels, every, name, preexec=None):
        found = deep_files(self.src, levels, every, name)
        proc, messages = self.pack(self.src, self.out, "/s", "/p",
                                   preexec=preexec)
        self.assert_clean(proc, messages)
        for depth, data in found.items():
            parts = ["src"] + [name] * (depth - 1) + [name + ".mbx"]
            self.assertEqual(deep_read(self.out, parts), packed(data), depth)
        proc, messages = self.pack(self.src, self.out, "/s", "/d", "/p",
                                   preexec=preexec)
        self.assert_clean(proc, messages)
        self.assertEqual(self.read("src.mbx"),
                         b"".join(packed(found[d]) for d in sorted(found)))

    def test_tree_deeper_than_the_path_limit(self):
        levels = PATH_MAX // 100 + 10
        self.check_deep_tree(levels, 7, "f" * 99)

    def test_tree_three_thousand_levels_deep_with_few_descriptors(self):
        self.check_deep_tree(3000, 500, "d", preexec=low_file_limit)

    def test_fifty_thousand_levels_in_bounded_time_and_memory(self):
        # Generous bounds: a walk that rebuilds paths from the root, or
        # recurses on the machine stack, takes minutes and gigabytes, or
        # crashes.
        found = deep_files(self.src, 50000, 12500)
        # MiB; the sanitizers' shadow memory and quarantine add their own.
        memory_bound = 512 if "ASAN_OPTIONS" in os.environ else 64
        measure = ("import resource, subprocess, sys; "
                   "p = subprocess.run(sys.argv[1:]); "
                   "print(resource.getrusage(resource.RUSAGE_CHILDREN)"
                   ".ru_maxrss); sys.exit(p.returncode)")
        for options in (("/s",), ("/s", "/d")):
            with self.subTest(options=options):
                start = time.monotonic()
                proc, messages = self.pack(
                    "/usr/bin/env", "python3", "-c", measure, self.binary,
                    self.src, self.out, *options, "/p", timeout=600,
                    command=True)
                seconds = time.monotonic() - start
                self.assertEqual(proc.returncode, 0, proc.stderr)
                self.assertEqual(messages, ["0 errors."])
                self.assertLess(int(proc.stdout) // 1024, memory_bound)
                self.assertLess(seconds, 300)
        for depth, data in found.items():
            parts = ["src"] + ["d"] * (depth - 1) + ["d.mbx"]
            self.assertEqual(deep_read(self.out, parts), packed(data), depth)
        self.assertEqual(self.read("src.mbx"),
                         b"".join(packed(found[d]) for d in sorted(found)))

    # ---- one file under two names ----

    def test_targets_that_are_one_file_are_appended_to(self):
        # out/src/y is a link to out/src/x: the groups x/m and y/m map to
        # one file, which the second must not empty.
        a, b = message("a"), message("b")
        self.write("x/m/a.eml", a)
        self.write("y/m/b.eml", b)
        os.makedirs(os.path.join(self.out, "src", "x"))
        os.symlink("x", os.path.join(self.out, "src", "y"))
        proc, messages = self.pack(self.src, self.out, "/s", "/p")
        self.assert_clean(proc, messages)
        self.assertEqual(self.read("src/x/m.mbx"), packed(a) + packed(b))

    def test_a_file_or_folder_reached_twice_is_packed_once(self):
        m1, m2, m3 = message("1"), message("2"), message("3")
        self.write("a/m1.eml", m1)
        self.write("a/m2.eml", m2)
        self.write("b/m3.eml", m3)
        os.link(os.path.join(self.src, "a", "m1.eml"),
                os.path.join(self.src, "b", "hard.eml"))
        os.symlink("../a/m2.eml", os.path.join(self.src, "b", "soft.eml"))
        os.symlink("a", os.path.join(self.src, "c"))
        os.symlink("../b", os.path.join(self.src, "b", "again"))
        os.makedirs(os.path.join(self.src, "d"))  # nothing of its own
        os.link(os.path.join(self.src, "a", "m1.eml"),
                os.path.join(self.src, "d", "only.eml"))
        proc, messages = self.pack(self.src, self.out, "/s", "/p")
        self.assert_clean(proc, messages)
        self.assertEqual(self.read("src/a.mbx"), packed(m1) + packed(m2))
        self.assertEqual(self.read("src/b.mbx"), packed(m3))
        self.assertEqual(sorted(os.listdir(os.path.join(self.out, "src"))),
                         ["a.mbx", "b.mbx"])
        proc, messages = self.pack(self.src, self.out, "/s", "/d", "/p")
        self.assert_clean(proc, messages)
        self.assertEqual(self.read("src.mbx"),
                         packed(m1) + packed(m2) + packed(m3))

    # ---- the target under other names ----

    def start_on_terminal(self, *args):
        master, slave = pty.openpty()
        name = os.ttyname(slave)
        # Held open here too, so that the terminal is readable before the
        # program has opened it and after it has ended.
        self.addCleanup(os.close, slave)

        def take_terminal():
            os.setsid()
            os.close(os.open(name, os.O_RDWR))

        proc = subprocess.Popen([self.binary, *args], env=self.env(),
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE,
                                preexec_fn=take_terminal)
        return proc, master

    def read_terminal(self, master, text, seen=b"", timeout=120):
        deadline = time.time() + timeout
        while text not in seen:
            ready, _, _ = select.select([master], [], [], 1)
            if ready:
                seen += os.read(master, 65536)
            if time.time() > deadline:
                raise AssertionError("no %r in %r" % (text, seen[-300:]))
        return seen

    def assert_write_lock_refused(self, path):
        with open(path, "r+b") as f:
            with self.assertRaises(OSError):
                fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)

    def run_with_links(self, out, target, append):
        """Packs a.eml and b.eml beside links to the target and a file that
        is no message; while the run asks about that file, the target must
        still be locked."""
        args = [self.src, out] + (["/a"] if append else [])
        proc, master = self.start_on_terminal(*args)
        try:
            self.read_terminal(master, PROCEED)
            self.assert_write_lock_refused(target)
            os.write(master, b"y\n")
            proc.wait(120)
        finally:
            os.close(master)
        err = proc.stderr.read()
        proc.stderr.close()
        self.assertEqual(proc.returncode, 2, err)
        self.assertIn(b"Unknown format of source file", err)

    def test_links_to_the_target_are_not_its_sources(self):
        a, b = message("a"), message("b")
        for append in (False, True):
            with self.subTest(append=append):
                subprocess.run(["rm", "-rf", self.src, self.out])
                self.write("a.eml", a)
                self.write("b.eml", b)
                self.write("zz.eml", b"no message\n")
                old = packed(message("old"))
                target = self.write("src.mbx", old, base=self.out)
                os.link(target, os.path.join(self.src, "hard.mbx"))
                os.symlink(target, os.path.join(self.src, "soft.mbx"))
                self.run_with_links(self.out, target, append)
                self.assertEqual(self.read("src.mbx"),
                                 (old if append else b"") + packed(a) +
                                 packed(b))

    def test_output_directory_reached_through_a_link(self):
        a, b = message("a"), message("b")
        self.write("a.eml", a)
        self.write("b.eml", b)
        self.write("zz.eml", b"no message\n")
        os.symlink(self.src, os.path.join(self.src, "here"))
        out = os.path.join(self.src, "here")
        target = os.path.join(self.src, "src.mbx")
        self.run_with_links(out, target, False)
        self.run_with_links(out, target, True)
        self.assertEqual(self.read("src.mbx", base=self.src),
                         packed(a) + packed(b) + packed(a) + packed(b))

    def test_output_inside_the_tree_is_never_packed_again(self):
        files = {"a.eml": message("a"), "sub/b.eml": message("b"),
                 "sub/deep/c.eml": message("c")}
        for name, data in files.items():
            self.write(name, data)
        for options in (("/s",), ("/s", "/a")):
            proc, messages = self.pack(self.src, self.src, *options, "/p")
            self.assert_clean(proc, messages)
        targets = {"src.mbx": "a.eml", "src/sub.mbx": "sub/b.eml",
                   "src/sub/deep.mbx": "sub/deep/c.eml"}
        for target, source in targets.items():
            self.assertEqual(self.read(target, base=self.src),
                             packed(files[source]) * 2, target)
        present = set()
        for dirpath, _, names in os.walk(self.src):
            present |= {os.path.relpath(os.path.join(dirpath, n), self.src)
                        for n in names}
        self.assertEqual(present, set(files) | set(targets))

    def test_a_source_that_grows_while_it_is_read(self):
        start = message("grows", b"x" * 99 + b"\n") + b"y" * 99 + b"\n"
        start += (b"z" * 99 + b"\n") * (32 * 2 ** 20 // 100)
        path = self.write("grows.eml", start)
        done = threading.Event()

        def append():
            with open(path, "ab") as f:
                for _ in range(96):
                    if done.is_set():
                        return
                    f.write((b"w" * 99 + b"\n") * (2 ** 20 // 100))
                    f.flush()

        writer = threading.Thread(target=append)
        writer.start()
        try:
            proc, messages = self.pack(self.src, self.out, "/p")
        finally:
            done.set()
            writer.join()
        self.assert_clean(proc, messages)
        with open(path, "rb") as f:
            final = f.read()
        target = self.read("src.mbx")
        self.assertTrue(target.startswith(packed(start)[:-2]))
        body = target[len(FALLBACK):].replace(b"\r\n", b"\n")
        self.assertTrue(final.startswith(body) or
                        final.startswith(body[:-1]), "not a prefix")

    # ---- "*" and "?" in names ----

    def test_folders_named_with_wildcard_characters(self):
        files = {"a*b/m.eml": message("m"), "a*b/c/n.eml": message("n"),
                 "q?/x.eml": message("x"), "q?/r/y.eml": message("y"),
                 "axb.eml": message("axb")}
        for name, data in files.items():
            self.write(name, data)
        out = os.path.join(self.dir, "o*x")
        proc, messages = self.pack(self.src, out, "/s", "/p")
        self.assert_clean(proc, messages)
        for target, source in (("src.mbx", "axb.eml"),
                               ("src/a*b.mbx", "a*b/m.eml"),
                               ("src/a*b/c.mbx", "a*b/c/n.eml"),
                               ("src/q?.mbx", "q?/x.eml"),
                               ("src/q?/r.mbx", "q?/r/y.eml")):
            self.assertEqual(self.read(target, base=out),
                             packed(files[source]), target)

    def test_a_specification_naming_a_directory_with_wildcards(self):
        self.write("a?b/in.eml", message("in"))
        self.write("axb.eml", message("not this"))
        proc, messages = self.pack(os.path.join(self.src, "a?b"), self.out,
                                   "/p")
        self.assert_clean(proc, messages)
        self.assertEqual(self.read("a?b.mbx"), packed(message("in")))
        # A wildcard only in a directory's name: "not found", not "no match".
        spec = os.path.join(self.src, "a?b", "none.eml")
        proc, messages = self.pack(spec, self.out, "/p")
        self.assertEqual(proc.returncode, 1)
        self.assertEqual(messages, ["File '%s' not found." % spec])

    # ---- names that hold control characters ----

    HOSTILE = [b"esc\x1b[31mred", b"cr\rx", b"lf\nforged line", b"tab\tx",
               b"del\x7fx", b"c1\xc2\x85x", b"latin\xe9x",
               "ok \u00fc\u20ac\U0001f4e7".encode()]

    def make_hostile_tree(self):
        src = os.fsencode(self.src)
        for i, name in enumerate(self.HOSTILE):
            self.write(os.fsdecode(name + b"/m.eml"), message("m%d" % i))
        bad = src + b"/bad\x1b]0;owned\x07\n.eml"
        with open(bad, "wb") as f:
            f.write(b"no message\n")
        return os.fsdecode(bad)

    def assert_hostile_targets(self):
        out = os.fsencode(self.out)
        for i, name in enumerate(self.HOSTILE):
            with open(out + b"/src/" + name + b".mbx", "rb") as f:
                self.assertEqual(f.read(), packed(message("m%d" % i)), name)

    def test_names_with_control_characters_in_the_log(self):
        bad = self.make_hostile_tree()
        proc, messages = self.pack(self.src, self.out, "/s", "/p")
        self.assertEqual((proc.returncode, proc.stderr), (2, b""))
        self.assertEqual(messages, ["Unknown format of source file '%s'."
                                    % escaped(bad), "1 error."])
        self.assert_hostile_targets()

    def test_names_with_control_characters_on_the_terminal(self):
        bad = self.make_hostile_tree()
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(self.binary, [self.binary, self.src, self.out, "/s"],
                      self.env(TERM="xterm"))
        width = 60
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, width, 0, 0))
        try:
            seen = self.read_terminal(fd, PROCEED)
            os.write(fd, b"y\n")
            while True:
                ready, _, _ = select.select([fd], [], [], 120)
                chunk = os.read(fd, 65536) if ready else b""
                if not chunk:
                    break
                seen += chunk
        except OSError:
            pass
        finally:
            _, status = os.waitpid(pid, 0)
            os.close(fd)
        self.assertEqual(os.waitstatus_to_exitcode(status), 2)
        question = ("Unknown format of source file '%s'." % escaped(bad))
        self.assertIn(question.encode(), seen.replace(b"\r\n", b"\n"))
        # The program's own sequences only: erase line, cursor up, erase down.
        shown = seen
        for own in (b"\x1b[2K", b"\x1b[3A", b"\x1b[J"):
            shown = shown.replace(own, b"")
        self.assertNotIn(b"\x1b", shown)
        self.assertNotIn(b"\x7f", shown)
        self.assertNotIn(b"\xc2\x85", shown)
        lines = shown.replace(b"\r", b"\n").split(b"\n")
        for line in lines:
            text = line.decode("utf-8")  # never a character cut in two
            if not text.startswith(("Unknown", "Do you", "Tally: ")):
                self.assertLess(len(text), width, text)
        # The status display is cleared for the closing tally.
        self.assertRegex(seen, rb"\x1b\[JTally: 9 files found, 8 packed "
                         rb"[^\r\n\x1b]*\r\n$")
        self.assertIn(escaped(b"esc\x1b[31mred").encode(), shown)
        self.assert_hostile_targets()

    # ---- questions and stops ----

    def test_a_question_is_asked_on_the_terminal_too(self):
        self.write("bad.eml", b"no message\n")
        proc, master = self.start_on_terminal(self.src, self.out)
        try:
            self.read_terminal(master, PROCEED)
            os.write(master, b"n\n")
            proc.wait(120)
        finally:
            os.close(master)
        err = proc.stderr.read()
        proc.stderr.close()
        self.assertEqual(proc.returncode, 2)
        self.assertTrue(err.endswith(PROCEED), err)

    def test_a_stop_between_groups_leaves_the_next_target_alone(self):
        self.write("a.eml", message("a"))
        self.write("sub/b.eml", message("b"))
        os.makedirs(os.path.join(self.out, "src.mbx"))  # cannot be created
        old = packed(message("old"))
        self.write("src/sub.mbx", old, base=self.out)
        proc, master = self.start_on_terminal(self.src, self.out, "/s")
        try:
            seen = self.read_terminal(master, PROCEED)
            proc.send_signal(signal.SIGINT)  # Cancel pressed meanwhile
            os.write(master, b"y\n")
            self.read_terminal(master, ABORT, seen)
            os.write(master, b"y\n")
            proc.wait(120)
        finally:
            os.close(master)
        proc.stderr.close()
        self.assertEqual(proc.returncode, 2)
        self.assertEqual(self.read("src/sub.mbx"), old)

    def test_a_second_stop_cuts_the_message_in_hand(self):
        first = message("first")
        self.write("a.eml", first)
        big = self.write("b.eml", message("big"))
        with open(big, "r+b") as f:
            f.truncate(6 * 2 ** 30)  # a sparse body of zeros
        target = os.path.join(self.out, "src.mbx")
        for second in (signal.SIGTERM, signal.SIGHUP):
            with self.subTest(second=second):
                subprocess.run(["rm", "-rf", self.out, self.tmp])
                os.makedirs(self.tmp)
                proc = subprocess.Popen(
                    [self.binary, self.src, self.out, "/p"], env=self.env(),
                    stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                    start_new_session=True)
                try:
                    deadline = time.time() + 120
                    while (not os.path.exists(target) or
                           os.path.getsize(target) < len(packed(first)) +
                           4 * 2 ** 20):
                        self.assertLess(time.time(), deadline)
                        time.sleep(0.01)
                    proc.send_signal(signal.SIGTERM)
                    time.sleep(0.2)
                    proc.send_signal(second)
                    _, err = proc.communicate(timeout=300)
                finally:
                    if proc.poll() is None:
                        proc.kill()
                        proc.wait()
                self.assertEqual((proc.returncode, err), (2, b""))
                self.assertEqual(self.log_messages(self.read_log()),
                                 ["Aborted by user.", "0 errors."])
                self.assertEqual(self.read("src.mbx"), packed(first))

    def test_ctrl_c_after_a_confirmed_cancel_cuts_the_message_in_hand(self):
        first = message("first")
        self.write("a.eml", first)
        big = self.write("b.eml", message("big"))
        with open(big, "r+b") as f:
            f.truncate(6 * 2 ** 30)
        target = os.path.join(self.out, "src.mbx")
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(self.binary, [self.binary, self.src, self.out, "/p"],
                      self.env(TERM="xterm"))
        status = None
        try:
            deadline = time.time() + 120
            while (not os.path.exists(target) or
                   os.path.getsize(target) < len(packed(first)) + 4 * 2 ** 20):
                self.assertLess(time.time(), deadline)
                time.sleep(0.01)
            os.write(fd, b"\x03")
            seen = self.read_terminal(fd, ABORT)
            os.write(fd, b"y\n")
            # The display comes back once the answer is taken; then Ctrl-C
            # again, which asks nothing.
            self.read_terminal(fd, b"\x1b[2K", seen[seen.index(ABORT):])
            os.write(fd, b"\x03")
            _, status = os.waitpid(pid, 0)
        finally:
            if status is None:
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
            os.close(fd)
        self.assertEqual(os.waitstatus_to_exitcode(status), 2)
        self.assertEqual(self.log_messages(self.read_log()),
                         ["Aborted by user.", "0 errors."])
        self.assertEqual(self.read("src.mbx"), packed(first))


if __name__ == "__main__":
    unittest.main()
