"""Names as users have them: the listing order of every tree, and "?" on
names in UTF-8."""

import os
import unittest

from qptest import QuillpackTest, message, packed

# A folder's names in the order of the mbox: UTF-16 units upper-cased, ties
# in byte order, names that are not UTF-8 last.
ORDERED = [
    b"Abc.eml", b"abc.eml", b"abd.eml", b"B.eml", b"b.eml", b"Zed.eml",
    b"_x.eml",
    "Ärger.eml".encode(), "ärger.eml".encode(),
    "É1.eml".encode(), "é1.eml".encode(), "É2.eml".encode(),
    "Ω.eml".encode(), "Привет.eml".encode(), "日本.eml".encode(),
    "📧.eml".encode(), "ｚ.eml".encode(),
    b"caf\xe9.eml", b"\xff.eml",
]


class NamesTest(QuillpackTest):

    def write_folder(self, names, base=None):
        for i, name in enumerate(names):
            path = os.path.join((base or self.src).encode(), name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(message("m%02d" % i))

    def test_files_in_the_one_order(self):
        self.write_folder(reversed(ORDERED))
        run = self.run_qp(self.src, self.out)
        self.assertEqual(run.code, 0, run.stderr)
        count = len(ORDERED)
        self.assertEqual(self.read("src.mbx"), b"".join(
            packed(message("m%02d" % (count - 1 - i))) for i in range(count)))

    def test_folders_in_the_one_order(self):
        folders = [b"Alpha", b"alpha2", b"Beta", b"beta2", "Éa".encode(),
                   "éb".encode(), b"\xc9c"]
        self.write_folder([os.path.join(f, b"m.eml")
                           for f in reversed(folders)])
        run = self.run_qp(os.path.join(self.src, "*.eml"), self.out, "/s",
                          "/d")
        self.assertEqual(run.code, 0, run.stderr)
        count = len(folders)
        self.assertEqual(self.read("src.mbx"), b"".join(
            packed(message("m%02d" % (count - 1 - i))) for i in range(count)))

    def test_question_mark_takes_one_character(self):
        names = ["café.eml", "cafés.eml", "cafe.eml", "日本.eml", "日.eml",
                 "a📧b.eml", "ab.eml"]
        cases = [
            ("caf?.eml", ["cafe.eml", "café.eml"]),
            ("??.eml", ["ab.eml", "日本.eml"]),
            ("a?b.eml", ["a📧b.eml"]),
            ("?.eml", ["日.eml"]),
        ]
        self.write_folder([n.encode() for n in names])
        for pattern, matched in cases:
            with self.subTest(pattern=pattern):
                out = os.path.join(self.dir, "out-" + str(len(pattern)))
                run = self.run_qp(os.path.join(self.src, pattern), out)
                self.assertEqual(run.code, 0, run.stderr)
                with open(os.path.join(out, "src.mbx"), "rb") as f:
                    self.assertEqual(f.read(), b"".join(
                        packed(message("m%02d" % names.index(n)))
                        for n in matched))


if __name__ == "__main__":
    unittest.main()
