"""The committed case table is what its script makes of UnicodeData.txt."""

import os
import subprocess
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = "/usr/share/unicode/UnicodeData.txt"


class UpperTableTest(unittest.TestCase):

    @unittest.skipUnless(os.path.isfile(SOURCE), "needs package unicode-data")
    def test_committed_table_is_generated(self):
        made = subprocess.run(
            [sys.executable, os.path.join(ROOT, "base",
                                          "make_upper_table.py"), SOURCE],
            capture_output=True, check=True, timeout=120).stdout
        with open(os.path.join(ROOT, "base", "upper_table.cpp"), "rb") as f:
            self.assertEqual(made, f.read())


if __name__ == "__main__":
    unittest.main()
