"""The command line, its failures and the log, through the real binary."""

import os
import re
import subprocess
import unittest

from qptest import (BANNER, HOOKED_BIN, LOG_RULE, MESSAGE, QuillpackTest,
                    packed)

TS = r"[A-Z][a-z]+day \d{4}-\d{2}-\d{2}, \d{2}:\d{2}:\d{2}"
SYNTAX = "Syntax error when calling the program."


def log_block(args, messages):
    """A pattern for one whole log block."""
    lines = [re.escape(BANNER), "Command-line parameters:"]
    lines += ["   " + re.escape(a) for a in args]
    lines.append("Begin: " + TS)
    lines += [re.escape(m) for m in messages]
    lines += ["End: " + TS, LOG_RULE]
    return "\n".join(lines) + "\n"


class CommandLineTest(QuillpackTest):
    def setUp(self):
        super().setUp()
        self.write("a.eml", MESSAGE)

    def assert_usage(self, run):
        self.assertEqual(run.code, 3)
        self.assertTrue(run.stderr.startswith(BANNER.encode() + b"    "),
                        run.stderr)
        self.assertIn(b"  Usage:     quillpack  <file specification>", run.stderr)

    def test_syntax_errors_show_the_usage(self):
        cases = [
            [],
            [self.src],
            [self.src, self.out, "/x"],
            [self.src, self.out, "/p/a"],
            [self.src, self.out, "third"],
            [self.src, self.out, "/s", "/S"],
            [self.src, self.out, "/a", "/a"],
            [self.src, self.out, "/i", "/i"],
            [self.src, self.out, "/d", "/d"],
            ["/p", self.src, self.out],
        ]
        for args in cases:
            with self.subTest(args=args):
                self.assert_usage(self.run_qp(*args))
                self.assertFalse(os.path.exists(self.out))
                self.assertIsNone(self.run_qp(*args).log)

    def test_syntax_error_with_p_goes_to_the_log(self):
        args = [self.src, self.out, "/P", "/bogus", "/p"]
        run = self.run_qp(*args)
        self.assertEqual(run.code, 3)
        self.assertEqual(run.stderr, b"")
        self.assertRegex(run.log, "^" + log_block(args, [SYNTAX]) + "$")

    def test_help_and_version_win_anywhere(self):
        """On standard output with exit code 0, over every fault of the
        command line; /p opens no log."""
        src, out = self.src, self.out
        help_cases = [["--help"], ["-h"], ["-H"], ["/p", "--HELP"],
                      [src, out, "/x", "/s", "/s", "-h"],
                      [os.path.join(self.dir, "nowhere", "*"), out, "-h"],
                      ["--help", "--version"]]
        version_cases = [["--version"], ["-V"], ["-v", "/p"],
                         [src, out, "-sp", "--version", "-h"]]
        usage = self.run_qp("--help").stdout
        self.assertTrue(usage.startswith(BANNER.encode() + b"    "), usage)
        self.assertIn(b"( Example:  quillpack  ~/mail/inbox/*.eml  ~/data/"
                      b"  /p /a )\n", usage)
        self.assertIn(b"written with a dash", usage)
        for args, text in ([(a, usage) for a in help_cases] +
                           [(a, BANNER.encode() + b"\n")
                            for a in version_cases]):
            with self.subTest(args=args):
                run = self.run_qp(*args)
                self.assertEqual((run.code, run.stdout, run.stderr),
                                 (0, text, b""))
                self.assertIsNone(run.log)
                self.assertFalse(os.path.exists(out))

    def test_dash_options(self):
        self.write(os.path.join("sub", "b.eml"), MESSAGE)
        run = self.run_qp(self.src, self.out, "-S", "-p", "-d", "-a", "-u")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(self.read("src.mbx", base=self.out),
                         packed(MESSAGE) * 2)
        self.assertRegex(run.log, "^" + log_block(
            [self.src, self.out, "-S", "-p", "-d", "-a", "-u"],
            ["2 messages written to '%s' (290 bytes)."
             % os.path.join(self.out, "src.mbx"),
             "Tally: 2 files found, 2 packed into 1 mbox file, 0 skipped "
             "(0 empty, 0 system files, 0 mbox files of this run), 0 not "
             "packed, 0 not reached; 0 folders could not be read.",
             "0 errors."]) + "$")
        for faulty in (["/s", "-s"], ["-sp"], ["-a", "/A"], ["/?"], ["-"]):
            with self.subTest(args=faulty):
                self.assert_usage(self.run_qp(self.src, self.out, *faulty))
        # A path that begins with a dash is written ./-name.
        self.write("c.eml", MESSAGE, base=os.path.join(self.dir, "-h"))
        proc = subprocess.run([self.binary, "./-h", "./-V", "-p"],
                              cwd=self.dir, env=self.env(),
                              capture_output=True, stdin=subprocess.DEVNULL)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertTrue(os.path.isfile(os.path.join(self.dir, "-V", "-h.mbx")))

    def test_options_are_case_insensitive_and_u_repeats(self):
        run = self.run_qp(self.src, self.out, "/P", "/U", "/u", "/A")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertRegex(run.log, "0 errors\\.\n")

    def test_exactly_three_argument_lines_for_p_alone(self):
        args = [self.src, self.out, "/p"]
        run = self.run_qp(*args)
        self.assertEqual(run.code, 0)
        block = log_block(args, [
            "1 message written to '%s' (145 bytes)."
            % os.path.join(self.out, "src.mbx"),
            "Tally: 1 file found, 1 packed into 1 mbox file, 0 skipped "
            "(0 empty, 0 system files, 0 mbox files of this run), 0 not "
            "packed, 0 not reached; 0 folders could not be read.",
            "0 errors."])
        self.assertRegex(run.log, "^" + block + "$")
        # A second run appends a second block.
        self.run_qp(*args)
        self.assertRegex(run.log, "^" + block * 2 + "$")

    def test_invalid_source_directory(self):
        missing = os.path.join(self.dir, "nowhere", "*.eml")
        for p in ([], ["/p"]):
            run = self.run_qp(missing, self.out, *p)
            self.assertEqual(run.code, 3)
            text = ("Invalid directory '%s/'.\nProgram aborted."
                    % os.path.join(self.dir, "nowhere"))
            if p:
                self.assertEqual(self.log_messages(run.log), text.split("\n"))
            else:
                self.assertEqual(run.stderr.decode(), text + "\n")

    def test_output_directory_is_created_three_levels_deep(self):
        out = os.path.join(self.dir, "one", "two", "three")
        run = self.run_qp(self.src, out)
        self.assertEqual(run.code, 0, run.stderr)
        self.assertTrue(os.path.isfile(os.path.join(out, "src.mbx")))

    def assert_final(self, args, text):
        """The final message on standard error, and with /p in the log."""
        run = self.run_qp(*args)
        self.assertEqual((run.code, run.stderr.decode()), (3, text + "\n"))
        run = self.run_qp(*args, "/p")
        self.assertEqual((run.code, run.stderr), (3, b""))
        self.assertEqual(self.log_messages(run.log), text.split("\n"))
        self.assertTrue(run.log.endswith(LOG_RULE + "\n"))

    def test_output_directory_that_is_a_file_or_a_wildcard(self):
        afile = self.write("plain.txt", b"x", base=self.dir)
        self.assert_final([self.src, afile],
                          "Invalid directory '%s'.\nProgram aborted." % afile)
        # "*" and "?" are characters of a POSIX name: the directory is made.
        self.write("a.eml", MESSAGE)
        for named in ("o*t", "q?"):
            run = self.run_qp(self.src, os.path.join(self.dir, named))
            self.assertEqual((run.code, run.stderr), (0, b""))
            self.assertEqual(self.read("src.mbx",
                                       base=os.path.join(self.dir, named)),
                             packed(MESSAGE))

    def test_output_directory_that_cannot_be_created(self):
        afile = self.write("plain.txt", b"x", base=self.dir)
        target = os.path.join(afile, "sub")
        self.assert_final([self.src, target],
                          "Error creating directory '%s'.\nProgram aborted."
                          % target)

    def test_relative_specification_with_blanks(self):
        spaced = os.path.join(self.dir, "my mail")
        self.write("b.eml", MESSAGE, base=spaced)
        proc = subprocess.run([self.binary, "my mail/*.eml", "out dir"],
                              cwd=self.dir, env=self.env(),
                              capture_output=True, stdin=subprocess.DEVNULL)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertTrue(os.path.isfile(
            os.path.join(self.dir, "out dir", "my mail.mbx")))

    def test_no_log_without_p(self):
        self.run_qp(self.src, self.out)
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "quillpack.log")))

    def test_crash_report(self):
        for p in ([], ["/p"]):
            run = self.run_qp(self.src, self.out, *p, binary=HOOKED_BIN,
                              QUILLPACK_TEST_CRASH="job")
            self.assertEqual(run.code, 3)
            path = os.path.join(self.tmp, "ex.err")
            with open(path, "rb") as f:
                report = f.read().decode()
            self.assertRegex(report,
                             "^Fatal run-time error:\n.*SIGSEGV.*\n"
                             "------------\n" + re.escape(BANNER) + "\n"
                             "Error processing file '' \\(-1 bytes\\)\\.\n$")
            message = ("An unexpected error has occurred, see file '%s'.\n"
                       "Program aborted." % path)
            if p:
                self.assertEqual(self.log_messages(run.log),
                                 message.split("\n"))
            else:
                self.assertTrue(run.stderr.decode().endswith(message + "\n"),
                                run.stderr)


if __name__ == "__main__":
    unittest.main()
