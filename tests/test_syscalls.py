"""The system calls a small source file costs, counted by strace: the
walk's look at it, the open, one look at the open file, one read, the
close and the one write of its message. Counted as the difference between
two runs, so that the start-up and the walk's per-folder calls drop out."""

import os
import shutil
import subprocess
import unittest

from qptest import QuillpackTest, crlf, message


@unittest.skipUnless(shutil.which("strace"), "strace is not installed")
class SyscallTest(QuillpackTest):

    def calls(self, count, data):
        for i in range(count):
            self.write("m%04d.eml" % i, data)
        counts = os.path.join(self.dir, "counts-%d.txt" % count)
        out = os.path.join(self.dir, "out-%d" % count)
        subprocess.run(["strace", "-f", "-c", "-o", counts, self.binary,
                        os.path.join(self.src, "*.eml"), out + "/", "/p"],
                       env=self.env(), check=True, capture_output=True,
                       timeout=120)
        with open(counts) as f:
            total = [line for line in f if line.rstrip().endswith("total")]
        return int(total[0].split()[3])

    def test_six_calls_per_small_file(self):
        for name, data in (("LF", message("lf", b"Body.\n" * 200)),
                           ("CR LF", crlf(message("crlf", b"Body.\n" * 200)))):
            with self.subTest(name):
                shutil.rmtree(self.src)
                os.makedirs(self.src)
                few = self.calls(20, data)
                many = self.calls(220, data)
                # A growing heap may add a call now and then, not per file.
                self.assertLessEqual(round((many - few) / 200), 6,
                                     (few, many))


if __name__ == "__main__":
    unittest.main()
