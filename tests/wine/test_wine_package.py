"""The Windows zip: what it holds, and that the quillpack.exe unpacked from
it packs the samples under Wine as the POSIX program does. The zip is
unpacked into a scratch directory."""

import os
import re
import unittest
import zipfile

from winetest import POSIX_BIN, ROOT, WIN_BUILD, WineTest

SAMPLES = os.path.join(ROOT, "samples", "mail")


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(quillpack VERSION ([0-9.]+)",
                         f.read()).group(1)


ZIP = os.path.join(WIN_BUILD, "quillpack-%s-win64.zip" % project_version())

# Each document of the zip and its source in the repository.
DOCUMENTS = {
    "README.txt": "README.md",
    "LICENSE.txt": "LICENSE",
    "quillpack.ini.example": os.path.join("doc", "quillpack.ini"),
}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def files_under(root):
    found = {}
    for dirpath, _, filenames in os.walk(root):
        for name in filenames:
            path = os.path.join(dirpath, name)
            found[os.path.relpath(path, root)] = read(path)
    return found


class ZipTest(WineTest):

    def setUp(self):
        super().setUp()
        self.app = os.path.join(self.dir, "app")
        with zipfile.ZipFile(ZIP) as archive:
            self.names = sorted(archive.namelist())
            archive.extractall(self.app)

    def pack_samples(self, kind):
        out = os.path.join(self.dir, "out-" + kind)
        if kind == "win":
            run = self.run_exe(self.win(SAMPLES), self.win(out), "/s", "/p",
                               exe=os.path.join(self.app, "quillpack.exe"))
            code = run.code
        else:
            code = self.run_posix(POSIX_BIN, SAMPLES, out, "/s", "/p").code
        return code, files_under(out)

    def test_the_zip_holds_the_program_and_its_documents(self):
        self.assertEqual(self.names, sorted(["quillpack.exe"] +
                                            list(DOCUMENTS)))
        self.assertEqual(read(os.path.join(self.app, "quillpack.exe"))[:2],
                         b"MZ")
        for name, source in DOCUMENTS.items():
            with self.subTest(name):
                text = read(os.path.join(self.app, name))
                self.assertNotIn(b"\n", text.replace(b"\r\n", b""))
                self.assertEqual(text.replace(b"\r\n", b"\n"),
                                 read(os.path.join(ROOT, source)))

    def test_the_unpacked_program_packs_the_samples(self):
        if not os.path.isfile(POSIX_BIN):
            self.fail("POSIX program not built: %s" % POSIX_BIN)
        expected = self.pack_samples("posix")
        self.assertEqual(expected[0], 2)  # notes.eml is no message
        self.assertIn("mail.mbx", expected[1])
        self.assertEqual(self.pack_samples("win"), expected)
        self.assertEqual(self.log_messages()[-1], "1 error.")

    def test_the_example_is_valid_beside_the_program(self):
        example = read(os.path.join(self.app, "quillpack.ini.example"))
        ini = os.path.join(self.app, "quillpack.ini")
        with open(ini, "wb") as f:
            f.write(example)
        expected = self.pack_samples("posix")
        run = self.pack_samples("win")
        if run[0] == 3 and "Unknown section 'Mbox'." in self.log_messages():
            # A build whose writer has no [Mbox] settings: the rest of the
            # file must still hold.
            with open(ini, "wb") as f:
                f.write(example[:example.index(b"\r\n[Mbox]")])
            run = self.pack_samples("win")
        self.assertEqual(run, expected)


if __name__ == "__main__":
    unittest.main()
