"""The committed case and decomposition tables are what their scripts make
of UnicodeData.txt."""

import os
import subprocess
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = "/usr/share/unicode/UnicodeData.txt"


class UpperTableTest(unittest.TestCase):

    def check_generated(self, script, table):
        made = subprocess.run(
            [sys.executable, os.path.join(ROOT, "base", script), SOURCE],
            capture_output=True, check=True, timeout=120).stdout
        with open(os.path.join(ROOT, "base", table), "rb") as f:
            self.assertEqual(made, f.read())

    @unittest.skipUnless(os.path.isfile(SOURCE), "needs package unicode-data")
    def test_committed_table_is_generated(self):
        self.check_generated("make_upper_table.py", "upper_table.cpp")

    @unittest.skipUnless(os.path.isfile(SOURCE), "needs package unicode-data")
    def test_committed_decomposition_table_is_generated(self):
        self.check_generated("make_decomposition_table.py",
                             "decomposition_table.cpp")


if __name__ == "__main__":
    unittest.main()
