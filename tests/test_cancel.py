"""Cancel, prompts and the status display, driven through a pseudo-terminal."""

import mailbox
import os
import pty
import select
import signal
import time
import unittest

from qptest import QuillpackTest, message, packed


class Terminal:
    """The program running with a pseudo-terminal as its controlling tty."""

    def __init__(self, args, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(args[0], args, env)
        self.output = b""

    def read_until(self, text, timeout=60):
        deadline = time.time() + timeout
        while text not in self.output:
            left = deadline - time.time()
            if left <= 0:
                raise AssertionError("no %r in %r" % (text, self.output[-500:]))
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                try:
                    chunk = os.read(self.fd, 65536)
                except OSError:
                    chunk = b""
                if not chunk:
                    raise AssertionError("ended before %r: %r"
                                         % (text, self.output[-500:]))
                self.output += chunk

    def drain(self):
        while True:
            try:
                chunk = os.read(self.fd, 65536)
            except OSError:
                return
            if not chunk:
                return
            self.output += chunk

    def send(self, data):
        os.write(self.fd, data)

    def wait(self, timeout=120):
        deadline = time.time() + timeout
        while True:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(self.fd, 65536)
                    self.output += chunk
                except OSError:
                    chunk = b""
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.drain()
                os.close(self.fd)
                return os.waitstatus_to_exitcode(status)
            if time.time() > deadline:
                os.kill(self.pid, signal.SIGKILL)
                raise AssertionError("did not end")


class CancelTest(QuillpackTest):
    files = 4000

    def many(self, count=None):
        self.sources = []
        for i in range(count or self.files):
            data = message("m%05d" % i, b"x" * 2000 + b"\n")
            self.write("m%05d.eml" % i, data)
            self.sources.append(data)

    def start(self, *args):
        env = self.env(TERM="xterm")
        return Terminal([self.binary, *args], env)

    def assert_complete_prefix(self, target):
        """Every message in the target is one whole source, in order."""
        with open(target, "rb") as f:
            data = f.read()
        count = data.count(b"From quillpack@localhost ")
        self.assertEqual(data, b"".join(packed(s) for s in self.sources[:count]))
        return count

    def wait_for_growth(self, target):
        deadline = time.time() + 60
        while time.time() < deadline:
            if os.path.exists(target) and os.path.getsize(target) > 0:
                return
            time.sleep(0.005)
        raise AssertionError("target never grew")

    def test_sigterm_stops_with_complete_messages(self):
        self.many()
        import subprocess
        proc = subprocess.Popen([self.binary, self.src, self.out, "/p"],
                                env=self.env(), stdin=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)
        target = os.path.join(self.out, "src.mbx")
        self.wait_for_growth(target)
        proc.send_signal(signal.SIGTERM)
        _, err = proc.communicate(timeout=60)
        self.assertEqual(proc.returncode, 2)
        self.assertEqual(err, b"")
        with open(os.path.join(self.tmp, "quillpack.log")) as f:
            log = f.read()
        self.assertEqual(self.log_messages(log), ["Aborted by user.", "0 errors."])
        count = self.assert_complete_prefix(target)
        self.assertLess(count, self.files)

    def test_ctrl_c_confirmed_stops_the_run(self):
        self.many()
        term = self.start(self.src, self.out, "/p")
        term.read_until(b"FROM: /")
        term.send(b"\x03")
        term.read_until(b"Do you really want to abort the program? [Y/n] ")
        term.send(b"\n")  # the default answer is Yes
        self.assertEqual(term.wait(), 2)
        with open(os.path.join(self.tmp, "quillpack.log")) as f:
            log = f.read()
        self.assertEqual(self.log_messages(log), ["Aborted by user.", "0 errors."])
        count = self.assert_complete_prefix(os.path.join(self.out, "src.mbx"))
        self.assertLess(count, self.files)

    def test_ctrl_c_answered_no_lets_the_run_finish(self):
        self.many(1500)
        term = self.start(self.src, self.out)
        term.read_until(b"FROM: /")
        term.send(b"\x03")
        term.read_until(b"[Y/n] ")
        term.send(b"n\n")
        self.assertEqual(term.wait(), 0)
        box = mailbox.mbox(os.path.join(self.out, "src.mbx"))
        self.assertEqual(len(box), 1500)
        box.close()

    def test_no_at_an_error_prompt_stops_after_that_file(self):
        self.write("a.eml", message("a"))
        self.write("b.eml", b"no message\n")
        self.write("c.eml", message("c"))
        term = self.start(self.src, self.out)
        term.read_until(b"Unknown format of source file '%s/b.eml'.\r\n\r\n"
                        b"Do you wish to proceed? [Y/n] " % self.src.encode())
        term.send(b"n\n")
        self.assertEqual(term.wait(), 2)
        self.assertEqual(self.read("src.mbx"), packed(message("a")))

    def test_a_question_shows_once_on_the_terminal(self):
        # Standard error is the terminal the answer is read from.
        self.write("b.eml", b"no message\n")
        term = self.start(self.src, self.out)
        term.read_until(b"Do you wish to proceed? [Y/n] ")
        term.send(b"x\n")
        term.read_until(b"Please answer y or n. [Y/n] ")
        term.send(b"y\n")
        self.assertEqual(term.wait(), 2)
        self.assertEqual(term.output.count(b"Do you wish to proceed?"), 1)
        self.assertEqual(term.output.count(b"Please answer y or n."), 1)

    def test_status_display(self):
        self.many(300)
        term = self.start(self.src, self.out)
        self.assertEqual(term.wait(), 0)
        screen = term.output
        for text in (b"Copy", b"FROM: " + self.src.encode() + b"/",
                     b"TO:   " + self.out.encode() + b"/src.mbx", b"100 %"):
            self.assertIn(text, screen)
        self.assertIn(b"[" + b"#" * 10, screen)
        # Redrawn only when what it shows changes: far fewer than per file.
        self.assertLess(screen.count(b"Copy"), 150)

    def test_minimised_puts_the_percentage_into_the_title(self):
        self.many(50)
        term = self.start(self.src, self.out, "/i")
        self.assertEqual(term.wait(), 0)
        self.assertIn(b"\x1b]0;100 % - quillpack\x07", term.output)
        self.assertIn(b"\x1b[22;0t", term.output)
        self.assertTrue(term.output.rstrip(b"\r\n").endswith(b"\x1b[23;0t"))
        self.assertNotIn(b"FROM:", term.output)


if __name__ == "__main__":
    unittest.main()
