"""Names in any script, deep trees and the listing order: the Windows
program under Wine writes the same mbox files as the POSIX program from
the same tree, byte for byte.
"""

import os
import shutil
import subprocess
import unittest

from winetest import EXE, FALLBACK, POSIX_BIN, WineTest, crlf, message
from test_maildir import make_store  # noqa: E402

INI = b"[Names]\r\nMboxExtension=.mbox\r\nFolderExtension=.sbd\r\n"

SIX_SCRIPTS = ["Привет мир.eml", "日本語の件名.eml", "Ελληνικά.eml",
               "emoji 📧 mail.eml", "café résumé.eml", "plain.eml"]

# One character of each script, repeated to a name of at most 255 bytes,
# the longest name Linux allows.
LONG_NAME_LETTERS = ["ж", "語", "λ", "📧", "é", "x"]


def longest_name(letter):
    count = (255 - len(".eml")) // len(letter.encode())
    return letter * count + ".eml"


def deep_directory(length):
    """A relative chain of folders of mixed-script names, at least length
    characters long."""
    parts, total, n = [], 0, 0
    while total < length:
        n += 1
        part = "Ступень %02d level é %02d" % (n, n)
        parts.append(part)
        total += len(part) + 1
    return os.path.join(*parts)


class NamesAsPosixTest(WineTest):

    def run_program(self, kind, out, options, ini):
        binary = EXE if kind == "win" else POSIX_BIN
        bin_dir = os.path.join(self.dir, "bin-" + kind)
        os.makedirs(bin_dir, exist_ok=True)
        program = os.path.join(bin_dir, os.path.basename(binary))
        shutil.copy2(binary, program)
        self.write("quillpack.ini", ini, base=bin_dir)
        if kind == "win":
            return self.run_exe(self.win(self.src), self.win(out), *options,
                                exe=program, timeout=300).code
        tmp = os.path.join(self.dir, "tmp") + "/"
        os.makedirs(tmp, exist_ok=True)
        env = dict(os.environ, TMPDIR=tmp)
        env.pop("TERM", None)
        return subprocess.run([program, self.src, out, *options],
                              stdin=subprocess.DEVNULL, capture_output=True,
                              env=env, timeout=300).returncode

    def assert_same_output(self, *options, ini=INI, posix_ini=None,
                           code=0):
        """Runs both programs; returns the Windows program's output
        directory once both exit with code and write the same files."""
        if not os.path.isfile(POSIX_BIN):
            self.skipTest("POSIX program not built: %s" % POSIX_BIN)
        outs = {}
        for kind in ("win", "posix"):
            outs[kind] = os.path.join(self.dir, "out-" + kind)
            this_ini = posix_ini if kind == "posix" and posix_ini else ini
            self.assertEqual(
                self.run_program(kind, outs[kind], options, this_ini), code,
                kind)
        self.assertEqual(tree_bytes(outs["win"]), tree_bytes(outs["posix"]))
        return outs["win"]

    def mbox_subjects(self, path):
        with open(path, "rb") as f:
            return [line[len(b"Subject: "):].decode()
                    for line in f.read().split(b"\r\n")
                    if line.startswith(b"Subject: ")]

    def test_six_scripts_in_one_folder(self):
        for name in SIX_SCRIPTS:
            self.write(name, message(name))
        out = self.assert_same_output("/p")
        self.assertEqual(self.mbox_subjects(os.path.join(out, "src.mbox")),
                         sorted(SIX_SCRIPTS, key=order_key))
        self.assertEqual(self.log_messages(), ["0 errors."])

    def test_longest_name_in_each_script(self):
        names = [longest_name(letter) for letter in LONG_NAME_LETTERS]
        for name in names:
            self.assertLessEqual(len(name.encode()), 255)
            self.write(name, message(name[:3]))
        out = self.assert_same_output("/p")
        self.assertEqual(len(self.mbox_subjects(
            os.path.join(out, "src.mbox"))), len(names))

    def test_mixed_case_files_and_folders(self):
        tree = ["b.eml", "A.eml", "_x.eml", "Éa.eml", "éb.eml", "Zz.eml",
                "ω.eml", "Ψ.eml", os.path.join("beta", "x.eml"),
                os.path.join("Alpha", "y.eml"), os.path.join("Ärger", "z.eml"),
                os.path.join("alpha2", "Q.eml"), os.path.join("Beta2", "r.eml")]
        for name in tree:
            self.write(name, message(name))
        out = self.assert_same_output("/s", "/d", "/p")
        self.assertEqual(self.mbox_subjects(os.path.join(out, "src.mbox"))[:8],
                         ["A.eml", "b.eml", "Zz.eml", "_x.eml", "Éa.eml",
                          "éb.eml", "Ψ.eml", "ω.eml"])
        self.assert_same_output("/s", "/p")

    def test_trees_300_and_1500_characters_deep(self):
        for length in (300, 1500):
            with self.subTest(length=length):
                shutil.rmtree(self.src)
                for kind in ("win", "posix"):
                    shutil.rmtree(os.path.join(self.dir, "out-" + kind),
                                  ignore_errors=True)
                deep = deep_directory(length)
                self.write(os.path.join(deep, "deep.eml"), message("deep"))
                self.write("top.eml", message("top"))
                # winepath shortens long paths: count the parts instead.
                self.assertGreater(len(self.win(self.src)) + len(deep) + 1,
                                   length)
                out = self.assert_same_output("/s", "/d", "/p")
                self.assertEqual(
                    self.mbox_subjects(os.path.join(out, "src.mbox")),
                    ["top", "deep"])
                self.assert_same_output("/s", "/p")

    def test_a_deep_path_in_the_log_has_no_prefix(self):
        deep = deep_directory(400)
        self.write(os.path.join(deep, "bad.eml"), b"no header here\n")
        self.assertEqual(self.run_exe(self.win(self.src), self.win(self.out),
                                      "/s", "/d", "/p").code, 2)
        log = self.raw_log()
        self.assertTrue(log.startswith(b"quillpack "))  # no byte order mark
        lines = log.decode("utf-8").split("\r\n")
        error = [line for line in lines if line.startswith("Unknown format")]
        self.assertEqual(error, [
            "Unknown format of source file '%s\\%s\\bad.eml'." % (
                self.win(self.src).lower(), deep.replace(os.sep, "\\"))])

    def test_a_maildir_with_names_windows_can_hold(self):
        # "!2," where a name cannot hold ":"; marks, Maildir++ levels and a
        # modified UTF-7 name as the POSIX program writes them.
        make_store(os.path.join(self.src, "Maildir"), colon="!")
        out = self.assert_same_output("/s", "/p")
        self.assertEqual(self.mbox_subjects_and_marks(os.path.join(
            out, "src.sbd", "Maildir.sbd", "\u00c4rger.mbox")),
            ["Subject: anger", "Status: RO", "X-Status: A"])
        self.assert_same_output("/s", "/d", "/p")

    def mbox_subjects_and_marks(self, path):
        with open(path, "rb") as f:
            return [line.decode() for line in f.read().split(b"\r\n")
                    if line.startswith((b"Subject: ", b"Status: ",
                                        b"X-Status: "))]

    def test_ini_with_a_byte_order_mark(self):
        self.write("a.eml", message("a"))
        out = self.assert_same_output("/p", ini=b"\xef\xbb\xbf" + INI)
        self.assertEqual(os.listdir(out), ["src.mbox"])

    def test_ini_extension_in_windows_1252(self):
        # Saved in the ANSI code page, as Windows editors long did by
        # default: the Windows program reads the value in that code page,
        # as the POSIX program reads UTF-8.
        self.write("a.eml", message("a"))
        ini = "[Names]\r\nMboxExtension=.bóx\r\n"
        out = self.assert_same_output("/p", ini=ini.encode("cp1252"),
                                      posix_ini=ini.encode())
        self.assertEqual(os.listdir(out), ["src.bóx"])
        with open(os.path.join(out, "src.bóx"), "rb") as f:
            self.assertEqual(f.read(), FALLBACK + crlf(message("a")))


def order_key(name):
    """The listing order for names of these tests: UTF-16 units upper-cased
    (the plain upper case of these letters is the simple one), then bytes."""
    units = name.upper().encode("utf-16-be")
    return ([units[i:i + 2] for i in range(0, len(units), 2)],
            name.encode())


def tree_bytes(root):
    """Every file under root, by relative path, with its bytes."""
    files = {}
    for directory, _, names in os.walk(root):
        for name in names:
            path = os.path.join(directory, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root)] = f.read()
    return files


if __name__ == "__main__":
    unittest.main()
