"""The calls a run makes per source file under Wine, counted from Wine's
trace of the calls into its libraries: each is a round trip to the
wineserver, far dearer than on Windows. The source is opened for its bytes
once, and the window's queue is looked at by the clock, not per line."""

import re
import unittest

from winetest import WineTest, crlf, message

FILES = 10
BODY = b"".join(b"Line %06d of a message body.\n" % i for i in range(900))


class CallsPerFileTest(WineTest):

    def test_one_read_open_and_few_queue_looks_per_file(self):
        for i in range(FILES):
            self.write("m%02d.eml" % i, crlf(message("m%d" % i, BODY)))
        run = self.run_exe(self.win(self.src) + "\\*.eml", self.win(self.out),
                           "/p", WINEDEBUG="+relay", timeout=600)
        self.assertEqual(run.code, 0)
        trace = run.stderr.decode("latin-1")
        peeks = trace.count("Call user32.PeekMessageW(")
        self.assertLessEqual(peeks, 3 * FILES)
        read_opens = re.findall(
            r'Call KERNEL32\.CreateFileW\([0-9a-f]+ L"[^"]*\\\\(m\d\d\.eml)",'
            r'80000000,', trace)
        self.assertEqual(sorted(read_opens),
                         ["m%02d.eml" % i for i in range(FILES)])


if __name__ == "__main__":
    unittest.main()
