"""Whole runs of the Windows program under Wine: exit codes, mbox files,
the log with its CR LF line ends, the crash report, and the same mbox
bytes as the POSIX program writes from the same sources.

Wine runs headless here: the window cannot be created, so the run goes on
without it, and a box that cannot be shown answers 0 (proceed).
"""

import filecmp
import os
import shutil
import subprocess
import unittest

from winetest import (BANNER, EXE, FALLBACK, LOG_RULE, POSIX_BIN, WINE, WineTest,
                      crlf, message, wine_env)


class WholeRunTest(WineTest):

    def test_recursive_run_packs_each_directory_and_logs_the_summary(self):
        one, two = message("one"), message("two", b"From the start\n")
        self.write("a.eml", one)
        self.write("Sub Dir\\b.eml".replace("\\", os.sep), two)
        run = self.run_exe(self.win(self.src), self.win(self.out), "/p", "/s")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(self.read("src.mbx"), FALLBACK + crlf(one))
        # The folder is named as listed; the body's From line is kept.
        self.assertEqual(self.read(os.path.join("src", "Sub Dir.mbx")),
                         FALLBACK + crlf(two))
        log = self.raw_log()
        self.assertNotIn(b"\n", log.replace(b"\r\n", b""))  # text mode
        lines = log.decode("latin-1").split("\r\n")
        self.assertEqual(lines[:6], [
            BANNER, "Command-line parameters:",
            "   " + self.win(self.src), "   " + self.win(self.out),
            "   /p", "   /s"])
        self.assertRegex(lines[6], r"^Begin: [A-Z][a-z]+day \d{4}-\d\d-\d\d, "
                                   r"\d\d:\d\d:\d\d$")
        # The kept From line is told about above the summary.
        self.assertEqual(self.log_messages(), [
            'Note: 1 body line beginning with "From " left unchanged '
            '(see ChangeAllowed).', "0 errors."])
        self.assertEqual(lines[-2], LOG_RULE)
        self.assertEqual(lines[-1], "")

    def test_single_mbox_holds_every_group_in_walk_order(self):
        msgs = {name: message(name) for name in ("a", "b", "c")}
        self.write("a.eml", msgs["a"])
        self.write(os.path.join("x", "b.eml"), msgs["b"])
        self.write(os.path.join("x", "y", "c.eml"), msgs["c"])
        self.write(os.path.join("x", "notes.txt"), b"not matched")
        run = self.run_exe(self.win(self.src) + "\\*.eml", self.win(self.out),
                           "/s", "/d", "/p")
        self.assertEqual(run.code, 0)
        self.assertEqual(os.listdir(self.out), ["src.mbx"])
        self.assertEqual(self.read("src.mbx"),
                         b"".join(FALLBACK + crlf(msgs[n]) for n in "abc"))

    def test_append_starts_on_a_new_line(self):
        old = b"From old Mon Jan  1 00:00:00 2001\r\nDate: x\r\nFrom: y\r\n\r\nno end"
        self.write("src.mbx", old, base=self.out)
        self.write("new.eml", message("new"))
        run = self.run_exe(self.win(self.src), self.win(self.out), "/a", "/p")
        self.assertEqual(run.code, 0)
        self.assertEqual(self.read("src.mbx"),
                         old + b"\r\n" + FALLBACK + crlf(message("new")))

    def test_append_after_a_lone_cr_starts_a_new_message(self):
        # A writer cut off after the CR of a CR LF: the CR gets its line
        # end, then the empty line before the separator follows.
        bin_dir = os.path.join(self.dir, "bin")
        os.makedirs(bin_dir)
        program = os.path.join(bin_dir, os.path.basename(EXE))
        shutil.copy2(EXE, program)
        self.write("quillpack.ini", b"[Mbox]\r\nEmptyLineBetween=true\r\n",
                   base=bin_dir)
        for tail in (b"\r\n\r", b"\n\r", b"\r\r"):
            old = (b"From old Mon Jan  1 00:00:00 2001\r\nDate: x\r\n"
                   b"From: y\r\n\r\nold body" + tail)
            self.write("src.mbx", old, base=self.out)
            self.write("new.eml", message("new"))
            run = self.run_exe(self.win(self.src), self.win(self.out), "/a",
                               "/p", exe=program)
            self.assertEqual(run.code, 0)
            self.assertEqual(self.read("src.mbx"),
                             old + b"\r\n\r\n" + FALLBACK +
                             crlf(message("new")) + b"\r\n", tail)

    def test_the_target_under_another_name_is_no_source(self):
        # Known by volume serial number and file index, not by name: a hard
        # link to the target among the sources is skipped, as the target is.
        a, b = message("a"), message("b")
        self.write("a.eml", a)
        self.write("b.eml", b)
        for append in (False, True):
            target = self.write("src.mbx", FALLBACK + crlf(message("old")),
                                base=self.out)
            link = os.path.join(self.src, "link.mbx")
            if os.path.exists(link):
                os.remove(link)
            os.link(target, link)
            run = self.run_exe(self.win(self.src), self.win(self.out), "/p",
                               *(["/a"] if append else []))
            self.assertEqual((run.code, self.log_messages()),
                             (0, ["0 errors."]))
            self.assertEqual(self.read("src.mbx"),
                             (FALLBACK + crlf(message("old")) if append
                              else b"") + FALLBACK + crlf(a) + FALLBACK +
                             crlf(b))

    def test_a_file_of_two_hard_links_is_packed_once(self):
        # Found at the open, where the walk does not open each file.
        data = message("twice")
        self.write("a.eml", data)
        os.link(os.path.join(self.src, "a.eml"), os.path.join(self.src, "b.eml"))
        self.write("c.eml", message("once"))
        run = self.run_exe(self.win(self.src) + "\\*.eml", self.win(self.out),
                           "/p")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(self.read("src.mbx"),
                         FALLBACK + crlf(data) + FALLBACK + crlf(message("once")))

    def test_output_directory_is_created_and_used_in_lower_case(self):
        self.write("a.eml", message())
        target = os.path.join(self.dir, "New Out", "Deep")
        run = self.run_exe(self.win(self.src), self.win(target), "/p")
        self.assertEqual(run.code, 0)
        self.assertTrue(os.path.isfile(os.path.join(target, "src.mbx")))

    def test_bad_source_is_counted_and_the_run_goes_on(self):
        self.write("a.eml", b"no header here\n")
        self.write("b.eml", message("b"))
        run = self.run_exe(self.win(self.src), self.win(self.out), "/p")
        self.assertEqual(run.code, 2)
        # The source directory is held in lower case, the name as listed.
        self.assertEqual(self.log_messages(), [
            "Unknown format of source file '%s\\a.eml'." %
            self.win(self.src).lower(), "1 error."])
        self.assertEqual(self.read("src.mbx"), FALLBACK + crlf(message("b")))

    def test_folders_whose_names_differ_in_case_share_one_mbox(self):
        # Inbox.mbx and inbox.mbx are one file to Windows: the second group
        # appends to it, never empties it.
        upper, lower = message("upper"), message("lower")
        self.write(os.path.join("Inbox", "a.eml"), upper)
        self.write(os.path.join("inbox", "b.eml"), lower)
        run = self.run_exe(self.win(self.src), self.win(self.out), "/s", "/p")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(self.log_messages(), ["0 errors."])
        self.assertEqual(os.listdir(os.path.join(self.out, "src")),
                         ["Inbox.mbx"])
        self.assertEqual(self.read(os.path.join("src", "Inbox.mbx")),
                         FALLBACK + crlf(upper) + FALLBACK + crlf(lower))

    def test_a_folder_past_the_systems_limit_is_reported(self):
        # Names of 200 characters, 200 levels deep: far past what Wine can
        # reach; the folder where it gives up is named, and counted.
        top = message("top")
        self.write("a.eml", top)
        fd = os.open(self.src, os.O_RDONLY | os.O_DIRECTORY)
        for _ in range(200):
            os.mkdir("d" * 200, dir_fd=fd)
            child = os.open("d" * 200, os.O_RDONLY | os.O_DIRECTORY,
                            dir_fd=fd)
            os.close(fd)
            fd = child
        out = os.open("m.eml", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.write(out, message("deep"))
        os.close(out)
        os.close(fd)
        self.addCleanup(subprocess.run, ["rm", "-rf", self.src])
        run = self.run_exe(self.win(self.src), self.win(self.out), "/s", "/d",
                           "/p")
        self.assertEqual(run.code, 2, run.stderr)
        messages = self.log_messages()
        self.assertEqual(len(messages), 2, messages)
        self.assertRegex(messages[0],
                         r"^Error reading directory '.*\\(d{200}\\)+'\.$")
        self.assertEqual(messages[1], "1 error.")
        self.assertEqual(self.read("src.mbx"), FALLBACK + crlf(top))


class CommandLineTest(WineTest):

    def test_help_and_version_go_to_a_pipe_or_a_file(self):
        """Exit code 0 over every other fault, no log, nothing packed; a
        console would get a box instead."""
        src, out = self.win(self.src), self.win(self.out)
        usage = self.run_exe("/?").stdout
        self.assertTrue(usage.startswith(BANNER.encode() + b"    "), usage)
        self.assertIn(b"\r\n( Example:  quillpack  c:\\temp\\*.eml  "
                      b"c:\\data\\  /p /a )\r\n", usage)
        self.assertTrue(usage.endswith(b"the same mbox file.\r\n"), usage)
        self.assertNotIn(b"\n", usage.replace(b"\r\n", b""))
        version = BANNER.encode() + b"\r\n"
        cases = [(["--help"], usage), (["-h", "/p"], usage),
                 ([src, out, "/s", "/S", "/?"], usage),
                 (["-V"], version), (["/p", "--VERSION"], version),
                 ([src, out, "/x", "-v", "/?"], version)]
        for args, text in cases:
            with self.subTest(args=args):
                run = self.run_exe(*args)
                self.assertEqual((run.code, run.stdout), (0, text))
                self.assertIsNone(self.raw_log())
                self.assertFalse(os.path.exists(self.out))
        path = os.path.join(self.dir, "version.txt")
        with open(path, "wb") as f:
            code = subprocess.run([WINE, EXE, "--version"], stdout=f,
                                  stdin=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, env=wine_env(),
                                  timeout=120).returncode
        self.assertEqual((code, self.read(path, base=self.dir)), (0, version))

    def test_dash_options(self):
        self.write(os.path.join("sub", "b.eml"), message("b"))
        run = self.run_exe(self.win(self.src), self.win(self.out), "-S", "-D",
                           "-p")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(self.read("src.mbx"), FALLBACK + crlf(message("b")))
        for repeat in (["/s", "-s"], ["-sp"]):
            with self.subTest(args=repeat):
                run = self.run_exe(self.win(self.src), self.win(self.out),
                                   "-p", *repeat)
                self.assertEqual(run.code, 3)
                self.assertEqual(self.log_messages(),
                                 ["Syntax error when calling the program."])


class FailureTest(WineTest):

    def test_no_matching_file(self):
        spec = self.win(self.src) + "\\*.eml"
        run = self.run_exe(spec, self.win(self.out), "/p")
        self.assertEqual(run.code, 1)
        self.assertEqual(self.log_messages(),
                         ["No matching file found '%s'." % spec])

    def test_syntax_error(self):
        run = self.run_exe(self.win(self.src), self.win(self.out), "/p", "/x")
        self.assertEqual(run.code, 3)
        self.assertEqual(self.log_messages(),
                         ["Syntax error when calling the program."])

    def test_invalid_directory(self):
        missing = self.win(os.path.join(self.dir, "missing"))
        run = self.run_exe(missing + "\\*.eml", self.win(self.out), "/P")
        self.assertEqual(run.code, 3)
        self.assertEqual(self.log_messages(), [
            "Invalid directory '%s\\'." % missing, "Program aborted."])

    def test_boxes_that_cannot_be_shown_change_no_exit_code(self):
        # No display: every box answers 0 and the run ends as it would.
        self.assertEqual(self.run_exe(timeout=60).code, 3)
        run = self.run_exe(self.win(self.src) + "\\*.eml", self.win(self.out),
                           timeout=60)
        self.assertEqual(run.code, 1)
        self.write("a.eml", b"no message\n")
        run = self.run_exe(self.win(self.src), self.win(self.out), timeout=60)
        self.assertEqual(run.code, 2)
        self.assertIsNone(self.raw_log())

    def test_crash_report(self):
        self.write("a.eml", message())
        run = self.run_exe(self.win(self.src), self.win(self.out), "/p",
                           exe=EXE.replace("quillpack.exe",
                                           "quillpack_hooked.exe"),
                           QUILLPACK_TEST_CRASH="job")
        self.assertEqual(run.code, 3)
        with open(self.crash_path, "rb") as f:
            report = f.read()
        self.assertTrue(report.startswith(b"Fatal run-time error:\r\n"), report)
        self.assertTrue(report.endswith(
            b"------------\r\n" + BANNER.encode() + b"\r\n"
            b"Error processing file '' (-1 bytes).\r\n"), report)
        windows_report = self.log_messages()
        self.assertEqual(len(windows_report), 2)
        self.assertRegex(windows_report[0],
                         r"^An unexpected error has occurred, see file "
                         r"'[A-Za-z]:\\.*\\ex\.err'\.$")
        self.assertEqual(windows_report[1], "Program aborted.")


class SameBytesAsPosixTest(WineTest):
    """The Windows and the POSIX program write the same mbox files."""

    INI = (b"[FromLines]\r\nChangeAllowed=true\r\n"
           b"DoNotChange-Begin=<pre>\r\nDoNotChange-End=</pre>\r\n"
           b"[Names]\r\nMboxExtension=.mbox\r\nFolderExtension=.sbd\r\n")

    def make_tree(self):
        bodies = [
            b"plain\n",
            b"From here on\n>From quoted\nFrom the end",
            b"crlf\r\nlines\r\n\r\nFrom inside\r\n",
            b"<pre>\nFrom kept\n</pre>\nFrom changed\n",
            b"lone\rcr\r",
            bytes(range(1, 256)).replace(b"\n", b"") + b"\n",
        ]
        n = 0
        for folder in ("", "inbox", os.path.join("inbox", "old"), "sent"):
            for body in bodies:
                n += 1
                self.write(os.path.join(folder, "m%03d.eml" % n),
                           message("m%d" % n, body))
        self.write(os.path.join("sent", "own.eml"),
                   b"From me@example.org Mon Jan  1 10:00:00 2001\n" +
                   message("own"))
        self.write(os.path.join("sent", "m999.eml"), b"not a message\n")
        self.write(os.path.join("sent", "empty.eml"), b"")

    def run_both(self, *options):
        if not os.path.isfile(POSIX_BIN):
            self.skipTest("POSIX program not built: %s" % POSIX_BIN)
        results = {}
        for kind, binary in (("win", EXE), ("posix", POSIX_BIN)):
            bin_dir = os.path.join(self.dir, "bin-" + kind)
            os.makedirs(bin_dir, exist_ok=True)
            program = os.path.join(bin_dir, os.path.basename(binary))
            shutil.copy2(binary, program)
            self.write("quillpack.ini", self.INI, base=bin_dir)
            out = os.path.join(self.dir, "out-" + kind)
            if kind == "win":
                run = self.run_exe(self.win(self.src), self.win(out),
                                   *options, exe=program)
            else:
                run = self.run_posix(program, self.src, out, *options)
            results[kind] = (run.code, out)
        return results

    def assert_same_trees(self, left, right):
        compare = filecmp.dircmp(left, right)
        self.assertEqual((compare.left_only, compare.right_only,
                          compare.funny_files), ([], [], []))
        for name in compare.common_files:
            with open(os.path.join(left, name), "rb") as a, \
                    open(os.path.join(right, name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)
        for sub in compare.common_dirs:
            self.assert_same_trees(os.path.join(left, sub),
                                   os.path.join(right, sub))

    def test_per_directory_mbox_files(self):
        self.make_tree()
        results = self.run_both("/s", "/p")
        self.assertEqual(results["win"][0], 2)  # the one bad source
        self.assertEqual(results["posix"][0], 2)
        win_out, posix_out = results["win"][1], results["posix"][1]
        self.assertTrue(os.path.isfile(
            os.path.join(win_out, "src.sbd", "inbox.sbd", "old.mbox")))
        self.assert_same_trees(win_out, posix_out)

    def test_single_mbox(self):
        self.make_tree()
        results = self.run_both("/s", "/d", "/p")
        self.assertEqual(os.listdir(results["win"][1]), ["src.mbox"])
        self.assert_same_trees(results["win"][1], results["posix"][1])

    # Each way of writing an mbox file, packed afresh and then appended to.
    MBOX_SETTINGS = [
        b"[Mbox]\r\nLineEnds=LF\r\n",
        b"[Mbox]\r\nEmptyLineBetween=true\r\n",
        b"[Mbox]\r\nLineEnds=LF\r\nEmptyLineBetween=true\r\n",
        b"[Mbox]\r\nSeparatorDate=header\r\n",
        b"[Mbox]\r\nQuoting=mboxrd\r\n",
        b"[Mbox]\r\nOrder=date\r\n",
        b"[Mbox]\r\nDuplicates=skip\r\nOrder=date\r\nLineEnds=LF\r\n",
    ]

    def test_each_mbox_setting(self):
        self.make_tree()
        self.write(os.path.join("sent", "dated.eml"),
                   b"Return-Path: <bounce@example.org>\n"
                   b"Received: by mx; Tue, 2 Jan 2001 03:04:05 +0100\n"
                   b"Date: 29 Feb 2004 23:59:60 -0130\n"
                   + message("dated")[len(b"Date: Mon, 1 Jan 2001 10:00:00 +0000\n"):])
        # Dates in other folders and zones, and a copy in another folder.
        self.write(os.path.join("inbox", "early.eml"),
                   message("early").replace(b"Mon, 1 Jan 2001 10:00:00 +0000",
                                            b"1 Jan 01 00:30 +0100"))
        self.write(os.path.join("inbox", "old", "copy.eml"),
                   crlf(message("m1", b"plain\n")))
        for mbox in self.MBOX_SETTINGS:
            self.INI = SameBytesAsPosixTest.INI + mbox
            for options in (("/s", "/d", "/p"), ("/s", "/d", "/p", "/a")):
                with self.subTest(mbox=mbox, options=options):
                    results = self.run_both(*options)
                    self.assertEqual(results["win"][0], 2)
                    self.assertEqual(results["posix"][0], 2)
                    self.assert_same_trees(results["win"][1],
                                           results["posix"][1])
                    if b"LineEnds=LF" in mbox:  # the setting was read
                        written = self.read("src.mbox", base=results["win"][1])
                        self.assertNotIn(b"\r", written)


if __name__ == "__main__":
    unittest.main()
