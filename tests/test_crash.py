"""A crash of any kind in the middle of a run: a stack overflow, a signal
sent from outside. The report ex.err is written, the log block is whole
(its header, the crash message, its end) and every target holds whole
messages only: the one in hand is cut off again."""

import os
import random
import signal
import subprocess
import time
import unittest

from qptest import (HOOKED_BIN, QuillpackTest, block_messages, log_blocks,
                    packed, message)


class CrashTest(QuillpackTest):

    def crash_report(self):
        with open(os.path.join(self.tmp, "ex.err"), "rb") as f:
            return f.read().decode()

    def assert_log_ends_with_the_crash(self, args):
        with open(os.path.join(self.tmp, "quillpack.log"), "rb") as f:
            blocks = log_blocks(f.read().decode("latin-1"))
        self.assertEqual(len(blocks), 1)
        path = os.path.join(self.tmp, "ex.err")
        self.assertEqual(block_messages(blocks[0], args), [
            "An unexpected error has occurred, see file '%s'." % path,
            "Program aborted."])

    def test_a_stack_overflow_is_reported(self):
        self.write("a.eml", message())
        args = [self.src, self.out, "/p"]
        run = self.run_qp(*args, binary=HOOKED_BIN, QUILLPACK_TEST_CRASH="stack")
        self.assertEqual(run.code, 3, run.stderr)
        self.assertRegex(self.crash_report(), "^Fatal run-time error:\n"
                         "segmentation fault \\(SIGSEGV\\)\n")
        self.assert_log_ends_with_the_crash(args)

    def test_a_signal_from_outside_leaves_whole_messages(self):
        # Large messages, so that most moments fall inside one.
        entries = []
        for i in range(6):
            data = message("m%d" % i, (b"y" * 99 + b"\n") * 40000)
            self.write("m%d.eml" % i, data)
            entries.append(packed(data))
        args = [self.src, self.out, "/p"]
        target = os.path.join(self.out, "src.mbx")
        rng = random.Random(20)
        crashed = 0
        for sig in (signal.SIGBUS, signal.SIGSEGV, signal.SIGBUS,
                    signal.SIGBUS):
            subprocess.run(["rm", "-rf", self.out, self.tmp])
            os.makedirs(self.tmp)
            proc = subprocess.Popen([self.binary, *args],
                                    stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, env=self.env(),
                                    start_new_session=True)
            # Once the target has grown past a random size.
            grown = rng.randrange(1, 3 * len(entries[0]))
            deadline = time.time() + 60
            while proc.poll() is None and time.time() < deadline:
                if os.path.exists(target) and \
                        os.path.getsize(target) >= grown:
                    break
                time.sleep(0.001)
            proc.send_signal(sig)
            code = proc.wait(timeout=60)
            if code == 0:
                continue  # the run was over before the signal
            self.assertEqual(code, 3, sig)
            self.assertIn("(%s)" % signal.Signals(sig).name,
                          self.crash_report())
            self.assert_log_ends_with_the_crash(args)
            with open(target, "rb") as f:
                data = f.read()
            pos = written = 0
            while written < len(entries) and \
                    data.startswith(entries[written], pos):
                pos += len(entries[written])
                written += 1
            self.assertEqual(pos, len(data),
                             "%s: more than whole messages" % sig)
            crashed += 1
        self.assertGreater(crashed, 0, "every run was over before its signal")


if __name__ == "__main__":
    unittest.main()
