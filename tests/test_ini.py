"""Black-box tests of the INI file (Parts 2.1, 2.2) through the real program.

The binary is copied into a temporary directory beside a quillpack.ini, as
the INI file is looked for beside the executable. Each run gets a private
TMPDIR (the log and the crash report go there), a source directory with one
valid message and an output directory. Standard input is empty and the run
has no controlling terminal, so no box can wait for an answer.

On POSIX a message box is written to standard error as its text followed by
a line feed; with /p the message goes to $TMPDIR/quillpack.log instead.
"""

import os
import shutil
import subprocess
import tempfile
import unittest

from qptest import BANNER

HERE = os.path.dirname(os.path.abspath(__file__))
BIN = os.environ.get("QUILLPACK_BIN") or os.path.join(
    HERE, os.pardir, "build", "quillpack")

MESSAGE = (b"From: Alice <alice@example.org>\r\n"
           b"To: Bob <bob@example.org>\r\n"
           b"Date: Mon, 05 Mar 2007 14:07:09 +0100\r\n"
           b"Subject: test\r\n"
           b"\r\n"
           b"Hello.\r\n")


class IniFileTest(unittest.TestCase):

    def setUp(self):
        if not os.path.isfile(BIN):
            self.fail("program not built: %s (set QUILLPACK_BIN)" % BIN)
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="qp_ini_"))
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.bin_dir = os.path.join(self.root, "bin")
        self.tmp_dir = os.path.join(self.root, "tmp")
        self.src_dir = os.path.join(self.root, "src")
        self.out_dir = os.path.join(self.root, "out")
        for d in (self.bin_dir, self.tmp_dir, self.src_dir, self.out_dir):
            os.mkdir(d)
        with open(os.path.join(self.src_dir, "one.eml"), "wb") as f:
            f.write(MESSAGE)
        self.ini = os.path.join(self.bin_dir, "quillpack.ini")
        self.log = os.path.join(self.tmp_dir, "quillpack.log")

    # ---- helpers ----

    def write_ini(self, data, name="quillpack.ini"):
        with open(os.path.join(self.bin_dir, name), "wb") as f:
            f.write(data)

    def run_program(self, *options, name="quillpack"):
        program = os.path.join(self.bin_dir, name)
        if not os.path.exists(program):
            shutil.copy2(BIN, program)
        env = dict(os.environ)
        env["TMPDIR"] = self.tmp_dir + os.sep
        # No user's INI file: the one beside the program is read.
        env["XDG_CONFIG_HOME"] = os.path.join(self.root, "config")
        env.pop("TERM", None)
        return subprocess.run(
            [program, self.src_dir, self.out_dir] + list(options),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, env=env, timeout=60,
            start_new_session=True)

    def fatal_text(self, detail):
        return "Error in file '%s'.\n%s\nProgram aborted." % (self.ini, detail)

    def read_log_lines(self):
        with open(self.log, "rb") as f:
            data = f.read()
        return data.decode("latin-1").replace("\r\n", "\n").split("\n")

    def assert_nothing_packed(self):
        self.assertEqual(os.listdir(self.out_dir), [])

    # ---- faulty files ----

    FAULTS = [
        ("empty", b"", "No section found."),
        ("comments only", b"; quillpack\r\n\r\n; nothing\r\n",
         "No section found."),
        ("empty header on line 4", b"; c\n\n[Names]\n[]\n",
         "Invalid section on line 4."),
        ("header without bracket", b"[Names]\nMboxExtension=mbox\n[FromLines\n",
         "Invalid section on line 3."),
        ("section twice", b"[Names]\r\n; x\r\n[NAMES]\r\n",
         "Duplicate name on line 3."),
        ("key twice", b"[FromLines]\nChangeAllowed=true\n\nCHANGEALLOWED=false\n",
         "Duplicate name on line 4."),
        ("unknown section", b"[Names]\nFoo=1\n[Extras]\n",
         "Unknown section 'Extras'."),
        ("unknown section, non-ASCII", b"[\xc4nderung]\n",
         "Unknown section '\\xC4nderung'."),
        ("unknown key", b"[names]\nmboxextension=mbox\nFolder=x\n",
         "Section 'Names': Unknown key 'Folder'."),
        ("bad value", b"[fromlines]\nchangeallowed = Yes\n",
         "Section 'FromLines': Key 'ChangeAllowed' cannot take value 'Yes'."),
        ("bad characters", b"[Names]\nMboxExtension=?*?\n",
         "Key 'MboxExtension': Character(s) '?*' not allowed in file names "
         "on Windows."),
        ("equal extensions", b"[Names]\nFolderExtension=MBX\n",
         "Values of 'MboxExtension' and 'FolderExtension' must not be equal."),
        ("CR line ends", b"[Names]\rMboxExtension=mbox\r[NAMES]\r",
         "Duplicate name on line 3."),
        ("NUL in a value", b"[Names]\nMboxExtension=.x\x00a\n",
         "Key 'MboxExtension': Character(s) '\\x00' not allowed in file "
         "names on Windows."),
        ("escape in a value", b"[Names]\nFolderExtension=\x1b[2Jsbd\n",
         "Key 'FolderExtension': Character(s) '\\x1B' not allowed in file "
         "names on Windows."),
        ("larger than 1 MiB", b"[Names]\n" + b"; comment\n" * 104858,
         "File larger than 1 MiB."),
    ]

    def test_faulty_file_reports_on_stderr(self):
        for title, data, detail in self.FAULTS:
            with self.subTest(title):
                self.write_ini(data)
                result = self.run_program()
                self.assertEqual(result.returncode, 3)
                self.assertEqual(result.stderr.decode("latin-1"),
                                 self.fatal_text(detail) + "\n")
                self.assertEqual(result.stdout, b"")
                self.assert_nothing_packed()
                self.assertFalse(os.path.exists(self.log))

    def test_faulty_file_with_p_goes_to_log(self):
        self.write_ini(b"[Names]\nMboxExtension=mbox\n\n[]\n")
        result = self.run_program("/p")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stderr, b"")
        self.assert_nothing_packed()
        lines = self.read_log_lines()
        message = self.fatal_text("Invalid section on line 4.").split("\n")
        # ... Begin line, the three lines of the message, End line, rule.
        self.assertEqual(lines[-1], "")
        self.assertEqual(lines[-2], "-" * 60)
        self.assertTrue(lines[-3].startswith("End: "), lines)
        self.assertEqual(lines[-6:-3], message)
        self.assertTrue(lines[-7].startswith("Begin: "), lines)
        self.assertEqual(lines[0], BANNER)

    def test_name_is_fixed_under_another_executable_name(self):
        self.write_ini(b"[Names]\n[names]\n")
        result = self.run_program(name="otherpack")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stderr.decode("latin-1"),
                         self.fatal_text("Duplicate name on line 2.") + "\n")

    def test_ini_named_after_the_executable_is_not_read(self):
        self.write_ini(b"[]\n", name="otherpack.ini")
        result = self.run_program(name="otherpack")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")

    # ---- missing and valid files ----

    def test_no_ini_file(self):
        result = self.run_program()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.stdout, b"")
        self.assertFalse(os.path.exists(self.log))
        self.assertEqual(os.listdir(self.out_dir), ["src.mbx"])

    def test_no_ini_file_with_p(self):
        result = self.run_program("/p")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        lines = self.read_log_lines()
        # ... "   /p", Begin line, the mbox file, the tally, the summary,
        # End line, rule.
        self.assertEqual(lines[-8], "   /p")
        self.assertTrue(lines[-7].startswith("Begin: "), lines)
        self.assertRegex(lines[-6], r"^1 message written to '.*src\.mbx' "
                         r"\(\d+ bytes\)\.$")
        self.assertTrue(lines[-5].startswith("Tally: 1 file found, 1 packed"),
                        lines)
        self.assertEqual(lines[-4], "0 errors.")
        self.assertTrue(lines[-3].startswith("End: "), lines)

    def test_valid_file_sets_the_extension(self):
        for ends in (b"\r\n", b"\r", b"\n"):
            with self.subTest(ends):
                self.write_ini(ends.join([
                    b"; settings", b"[Names]", b"MboxExtension = ..mbox",
                    b"[FromLines]", b"ChangeAllowed = TRUE"]))
                result = self.run_program()
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr, b"")
                self.assertEqual(os.listdir(self.out_dir), ["src.mbox"])
                os.remove(os.path.join(self.out_dir, "src.mbox"))


if __name__ == "__main__":
    unittest.main()
