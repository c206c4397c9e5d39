"""SIGTERM and SIGINT at random moments of a long run, a few dozen times.

SIGTERM stops the run without asking; SIGINT asks "Do you really want to
abort the program?" on the controlling terminal (a pseudo-terminal here,
whose answer is typed ahead). Whenever the stop comes, the message in hand
is finished: every target holds whole messages in order, the groups after
the stop have no target, the sources are unchanged, the exit code is 0 (the
run was over) or 2 (stopped), and the log block is complete, says
"Aborted by user." exactly when the run was stopped, and above that counts
the unquoted "From " lines of the messages written.

The delays are drawn from a seeded generator; a failure names its seed.
"""

import os
import random
import signal
import subprocess
import time
import unittest

from qptest import (QuillpackTest, TerminalRun, block_messages, log_blocks,
                    mbox_entry, message, tree_state)

QUESTION = b"Do you really want to abort the program? [Y/n] "
BOTH_CAUGHT = (1 << (signal.SIGINT - 1)) | (1 << (signal.SIGTERM - 1))
NOTE = ('Note: %d body line%s beginning with "From " left unchanged '
        '(see ChangeAllowed).')


def caught_signals(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return int(line.split()[1], 16)
    except OSError:
        pass
    return None


class SignalTest(QuillpackTest):

    def setUp(self):
        super().setUp()
        # Groups in walk order: many small messages, a few large ones (a
        # stop in the middle of one), then many small ones again, deeper.
        self.groups = [("src.mbx", ""), ("src/large.mbx", "large/"),
                       ("src/more/deep.mbx", "more/deep/")]
        sizes = {"": [3000] * 250, "large/": [4 * 2 ** 20] * 6,
                 "more/deep/": [3000] * 250}
        self.entries = {}
        for rel, group_sizes in sizes.items():
            entries = []
            for i, size in enumerate(group_sizes):
                data = message("%s%d" % (rel, i), b"From here\n" +
                               (b"z" * 79 + b"\n") * (size // 80))
                self.write("%s%03d.eml" % (rel, i), data)
                entries.append(mbox_entry(data))
            self.entries[rel] = entries
        self.state = tree_state(self.src)
        self.args = [self.src, self.out, "/s", "/p"]

    def start_plain(self):
        return subprocess.Popen([self.binary, *self.args],
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, env=self.env(),
                                start_new_session=True)

    def wait_until_caught(self, pid):
        """Until the program takes stop requests: its handlers are in."""
        deadline = time.time() + 30
        while True:
            mask = caught_signals(pid)
            if mask is None or mask & BOTH_CAUGHT == BOTH_CAUGHT:
                return
            if time.time() > deadline:
                self.fail("the program never caught SIGINT and SIGTERM")
            time.sleep(0.0005)

    def fresh(self):
        subprocess.run(["rm", "-rf", self.out, self.tmp])
        os.makedirs(self.tmp)

    def check(self, code, note):
        """The invariants of a run that may have been stopped; whether it
        was stopped."""
        self.assertIn(code, (0, 2), note)
        self.assertEqual(tree_state(self.src), self.state, note)
        with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
            blocks = log_blocks(f.read().decode("latin-1"))
        self.assertEqual(len(blocks), 1, note)
        messages = block_messages(blocks[0], self.args)
        stopped = code == 2
        reached_end = True
        packed = 0
        for target, rel in self.groups:
            path = os.path.join(self.out, target)
            entries = self.entries[rel]
            if not reached_end:
                self.assertFalse(os.path.exists(path),
                                 "%s: %s after the stop" % (note, target))
                continue
            if not os.path.exists(path):
                self.assertTrue(stopped, "%s: no %s" % (note, target))
                reached_end = False
                continue
            with open(path, "rb") as f:
                data = f.read()
            written, pos = 0, 0
            while pos < len(data) and written < len(entries) and \
                    data.startswith(entries[written], pos):
                pos += len(entries[written])
                written += 1
            packed += written
            self.assertEqual(pos, len(data),
                             "%s: %s holds more than whole messages in order"
                             % (note, target))
            if written < len(entries):
                self.assertTrue(stopped, "%s: %s incomplete" % (note, target))
                reached_end = False
        # Each message's body begins with "From here", left unquoted.
        expected = [NOTE % (packed, "" if packed == 1 else "s")] if packed else []
        expected += ["Aborted by user.", "0 errors."] if stopped else [
            "0 errors."]
        # A stop confirmed while the last message is written is still a
        # stop ("Aborted by user.", exit code 2), though nothing is left.
        self.assertEqual(messages, expected, note)
        return stopped

    def timed_run(self):
        """How long the job takes undisturbed: the shorter of two runs, so
        that a slow one on a busy machine does not put every stop after
        the end."""
        spans = []
        for _ in range(2):
            proc = self.start_plain()
            self.wait_until_caught(proc.pid)
            begin = time.time()
            proc.communicate(timeout=300)
            spans.append(time.time() - begin)
            self.assertFalse(self.check(proc.returncode, "undisturbed run"))
            self.fresh()
        return min(spans)

    def test_sigterm_at_random_moments(self):
        span = self.timed_run()
        seed = random.randrange(2 ** 32)
        rng = random.Random(seed)
        stops = 0
        for i in range(24):
            delay = rng.uniform(0, span * 1.1) if i else 0
            note = "seed %d, run %d, delay %.4f s" % (seed, i, delay)
            proc = self.start_plain()
            self.wait_until_caught(proc.pid)
            time.sleep(delay)
            proc.send_signal(signal.SIGTERM)
            _, stderr = proc.communicate(timeout=300)
            self.assertEqual(stderr, b"", note)  # no question asked
            stops += self.check(proc.returncode, note)
            self.fresh()
        self.assertGreater(stops, 0, "seed %d: no run was stopped" % seed)

    def test_sigint_answered_at_random_moments(self):
        span = self.timed_run()
        seed = random.randrange(2 ** 32)
        rng = random.Random(seed)
        stops = 0
        for i in range(30):
            answer = b"n\n" if i % 5 == 4 else b"y\n"
            delay = rng.uniform(0, span * 1.1) if i else 0
            note = "seed %d, run %d, answer %r, delay %.4f s" % (
                seed, i, answer, delay)
            run = TerminalRun([self.binary, *self.args], self.env())
            run.answer(answer)  # typed ahead: read when the question comes
            self.wait_until_caught(run.proc.pid)
            time.sleep(delay)
            run.proc.send_signal(signal.SIGINT)
            code = run.finish()
            stopped = self.check(code, note)
            asked = QUESTION in run.stderr
            if answer == b"n\n":
                self.assertFalse(stopped, note)
            else:
                self.assertEqual(stopped, asked, note)
            stops += stopped
            self.fresh()
        self.assertGreater(stops, 0, "seed %d: no run was stopped" % seed)

    def test_sigterm_while_the_question_waits(self):
        run = TerminalRun([self.binary, *self.args], self.env())
        self.wait_until_caught(run.proc.pid)
        run.proc.send_signal(signal.SIGINT)
        run.wait_for(QUESTION)
        run.proc.send_signal(signal.SIGTERM)
        self.assertTrue(self.check(run.finish(), "no answer, then SIGTERM"))

    def test_sigint_without_a_terminal_changes_nothing(self):
        span = self.timed_run()
        for i, delay in enumerate((0, span / 3, span * 2 / 3)):
            note = "run %d, delay %.4f s" % (i, delay)
            proc = self.start_plain()
            self.wait_until_caught(proc.pid)
            time.sleep(delay)
            proc.send_signal(signal.SIGINT)
            proc.communicate(timeout=300)
            self.assertFalse(self.check(proc.returncode, note), note)
            self.fresh()


if __name__ == "__main__":
    unittest.main()
