"""Black-box tests of the transfer against golden files.

Each folder of tests/data/transfer/ holds the source messages in in/, the
INI file they are packed with (quillpack.ini, none for the defaults), for
an append the target's content before the run (old.mbx), and the mbox file
the program writes (expected.mbx). The C++ tests of the transfer read the
same files.
"""

import os
import shutil
import unittest

from qptest import BIN, HERE, QuillpackTest

DATA = os.path.join(HERE, "data", "transfer")


def cases():
    return sorted(os.listdir(DATA))


class TransferGoldenTest(QuillpackTest):

    def packed(self, case):
        """The mbox file the program writes for one case."""
        folder = os.path.join(DATA, case)
        work = os.path.join(self.dir, case)
        bin_dir = os.path.join(work, "bin")
        os.makedirs(bin_dir)
        program = os.path.join(bin_dir, "quillpack")
        shutil.copy2(BIN, program)
        ini = os.path.join(folder, "quillpack.ini")
        if os.path.exists(ini):
            shutil.copy2(ini, bin_dir)
        src = os.path.join(work, "in")
        shutil.copytree(os.path.join(folder, "in"), src)
        out = os.path.join(work, "out")
        options = ["/p"]
        old = os.path.join(folder, "old.mbx")
        if os.path.exists(old):
            os.makedirs(out)
            shutil.copy2(old, os.path.join(out, "in.mbx"))
            options.append("/a")
        run = self.run_qp(src, out, *options, binary=program)
        self.assertEqual(run.code, 0, run.log)
        return self.read("in.mbx", base=out)

    def test_each_case_writes_its_golden_bytes(self):
        for case in cases():
            with self.subTest(case=case):
                with open(os.path.join(DATA, case, "expected.mbx"), "rb") as f:
                    self.assertEqual(self.packed(case), f.read())


if __name__ == "__main__":
    unittest.main()
