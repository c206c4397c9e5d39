"""The progress window of the Windows program under Wine and Xvfb.

Runs after the console tests (a wineserver started without a display would
break the window): starts Xvfb, restarts the wineserver on that display,
and drives the program with xdotool. The box texts are read from Wine's
trace of the texts that windows are given (WINEDEBUG=trace+win).

    python3 tests/wine/gui_test.py            (from make test-windows)

Leaves build-win/progress.png, a screenshot of the running window, and
build-win/cancel-question.png, the Cancel question over it.
"""

import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winetest import (EXE, WIN_BUILD, WINE, crlf, message, temp_directory,  # noqa: E402
                      to_windows, wine_env, without_closing_lines)
from test_tally import APPLE_DOUBLE, tally  # noqa: E402

MAIN_TITLE = "^quillpack$"
INFO_TITLE = "^Info - quillpack$"
TREE = os.path.join(WIN_BUILD, "gui-tree")
# Enough that a run lasts some seconds, for a look and a Cancel in it.
TREE_FILES = 12000
LARGE_FILES = 12
LARGE_REPEAT = 2800  # copies of BODY: about 145 MB a message
BODY = b"".join(b"Line %06d of a long message body, with some filler text.\n"
                % i for i in range(600))


def make_big_tree():
    """A source tree that takes the program some seconds to pack, so that
    the window can be looked at and Cancel pressed while it runs."""
    src = os.path.join(TREE, "src")
    stamp = os.path.join(TREE, "ready-%d" % TREE_FILES)
    if not os.path.exists(stamp):
        shutil.rmtree(TREE, ignore_errors=True)
        os.makedirs(src)
        for i in range(TREE_FILES):
            with open(os.path.join(src, "m%05d.eml" % i), "wb") as f:
                f.write(message("m%d" % i, BODY))
        open(stamp, "w").close()
    return src


def make_large_files():
    """A few messages of tens of megabytes each: one takes the program
    seconds, all of it inside one transfer."""
    src = os.path.join(TREE, "large-src")
    stamp = os.path.join(TREE, "large-ready-%dx%d" % (LARGE_FILES,
                                                     LARGE_REPEAT))
    if not os.path.exists(stamp):
        shutil.rmtree(src, ignore_errors=True)
        os.makedirs(src)
        body = BODY * LARGE_REPEAT
        for i in range(LARGE_FILES):
            with open(os.path.join(src, "big%d.eml" % i), "wb") as f:
                f.write(message("big%d" % i, body))
        open(stamp, "w").close()
    return src


def free_display():
    for n in range(91, 120):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and \
                not os.path.exists("/tmp/.X%d-lock" % n):
            return ":%d" % n
    raise RuntimeError("no free X display number")


def xdotool(*args, check=True):
    out = subprocess.run(["xdotool", *args], capture_output=True, timeout=60)
    if check and out.returncode != 0:
        raise AssertionError("xdotool %s failed: %s" % (args, out.stderr))
    return out.stdout.decode().split()


def windows_named(pattern):
    return xdotool("search", "--name", pattern, check=False)


def wait_for(predicate, timeout=30, what="condition"):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


class GuiTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.display = free_display()
        cls.xvfb = subprocess.Popen(
            ["Xvfb", cls.display, "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = cls.display
        wait_for(lambda: os.path.exists(
            "/tmp/.X11-unix/X" + cls.display[1:]), what="Xvfb")
        cls.restart_wineserver()
        cls.src = make_big_tree()

    @classmethod
    def tearDownClass(cls):
        for flag in ("-k", "-w"):
            subprocess.run(["/usr/lib/wine/wineserver", flag], env=wine_env(),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.xvfb.terminate()
        cls.xvfb.wait(timeout=30)
        os.environ.pop("DISPLAY", None)

    @classmethod
    def restart_wineserver(cls):
        # Wine's helpers outlive the call: they must not hold our output.
        quiet = dict(env=wine_env(), stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], **quiet)
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], **quiet)
        subprocess.run(["/usr/lib/wine/wineserver", "-p"], **quiet)
        subprocess.run([WINE, "cmd", "/c", "exit", "0"], timeout=120, **quiet)

    def setUp(self):
        # Short, so that the TO line of the screenshot fits its label.
        self.out = os.path.join(TREE, self._testMethodName.split("_")[1])
        shutil.rmtree(self.out, ignore_errors=True)
        self.log_path = os.path.join(temp_directory(), "quillpack.log")
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        self.trace_path = os.path.join(TREE, self._testMethodName + ".trace")
        self.proc = None

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        wait_for(lambda: not windows_named("quillpack"), timeout=30,
                 what="the windows to go")

    def start(self, src, *options):
        self.trace = open(self.trace_path, "wb")
        self.addCleanup(self.trace.close)
        self.proc = subprocess.Popen(
            [WINE, EXE, to_windows(src), to_windows(self.out), *options],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self.trace, env=wine_env(WINEDEBUG="trace+win"))

    def finish(self, timeout=180):
        return self.proc.wait(timeout=timeout)

    def texts_shown(self):
        """Every text a window was given so far, as Wine traced it."""
        with open(self.trace_path, "rb") as f:
            trace = f.read().decode("latin-1")
        return re.findall(r'set_window_text L"(.*)"', trace)

    def wait_for_box(self, text):
        """Waits for a box with the caption quillpack over the main window
        and checks its text."""
        boxes = wait_for(lambda: len(windows_named(MAIN_TITLE)) == 2 and
                         windows_named(MAIN_TITLE), what="the box")
        # A key pressed before the box has the keyboard goes to the main
        # window and is lost; the box is the later of the two windows.
        box = max(boxes, key=int)
        wait_for(lambda: xdotool("getwindowfocus", check=False) == [box],
                 what="the box to take the keyboard")
        expected = text.replace("\\", "\\\\").replace("\n", "\\n")
        shown = wait_for(lambda: [t for t in self.texts_shown()
                                  if t == expected], what="text " + text)
        self.assertEqual(shown[0], expected)

    def wait_for_tally_box(self, line):
        """Waits for the information box that ends a run and checks that
        it holds the tally line."""
        wait_for(lambda: windows_named(INFO_TITLE), what="the tally box")
        wait_for(lambda: line in self.texts_shown(), what="text " + line)

    def finish_without_box(self, timeout=180):
        """The exit code of a run that must end with no box of its own."""
        wait_for(lambda: self.proc.poll() is not None or
                 windows_named(INFO_TITLE), timeout=timeout,
                 what="the end of the run")
        self.assertEqual(windows_named(INFO_TITLE), [])
        return self.finish()

    def bad_source(self, *files):
        src = os.path.join(TREE, "bad-src")
        shutil.rmtree(src, ignore_errors=True)
        os.makedirs(src)
        for name, data in files:
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
        return src

    def log_messages(self):
        with open(self.log_path, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        begin = max(i for i, l in enumerate(lines) if l.startswith("Begin: "))
        end = max(i for i, l in enumerate(lines) if l.startswith("End: "))
        return without_closing_lines(lines[begin + 1:end])

    def packed_messages(self, target="src.mbx"):
        with open(os.path.join(self.out, target), "rb") as f:
            data = f.read()
        return data.count(b"\r\nFrom quillpack@localhost ") + \
            data.startswith(b"From quillpack@localhost ")

    # ---- tests ----

    def test_window_then_cancel_yes_stops_the_run(self):
        self.start(self.src, "/p")
        main = wait_for(lambda: windows_named(MAIN_TITLE), what="the window")
        self.assertEqual(len(main), 1)
        geometry = " ".join(xdotool("getwindowgeometry", main[0]))
        self.assertIn("Geometry: 505x195", geometry)
        time.sleep(1.0)  # some progress to see
        subprocess.run(["import", "-window", "root",
                        os.path.join(WIN_BUILD, "progress.png")], check=True)
        # The focus is on Cancel: Enter asks.
        xdotool("key", "Return")
        self.wait_for_box("Do you really want to abort the program?")
        subprocess.run(["import", "-window", "root",
                        os.path.join(WIN_BUILD, "cancel-question.png")],
                       check=True)
        xdotool("key", "Return")  # Yes, the default
        self.assertEqual(self.finish(), 2)
        self.assertEqual(self.log_messages(), ["Aborted by user.", "0 errors."])
        self.assertLess(self.packed_messages(), TREE_FILES)
        for label in ("Copy", "FROM:", "TO:", "Cancel", "0 %"):
            self.assertIn(label, self.texts_shown())
        self.assertIn(to_windows(self.src).lower().replace("\\", "\\\\") +
                      "\\\\", self.texts_shown())

    def test_cancel_no_lets_the_run_finish(self):
        self.start(self.src)
        wait_for(lambda: windows_named(MAIN_TITLE), what="the window")
        time.sleep(1.0)  # the focus reaches Cancel once the job runs
        xdotool("key", "Return")
        self.wait_for_box("Do you really want to abort the program?")
        xdotool("key", "n")  # No
        wait_for(lambda: len(windows_named(MAIN_TITLE)) == 1,
                 what="the box to close")
        # A clean run ends silently: no tally box.
        self.assertEqual(self.finish_without_box(), 0)
        self.assertEqual(self.packed_messages(), TREE_FILES)
        self.assertIn("100 %", self.texts_shown())

    def test_cancel_answers_within_a_second_inside_a_large_message(self):
        # The pump goes by the clock: a long message still looks at the
        # window's events often enough for the question to come at once.
        self.start(make_large_files(), "/p")
        wait_for(lambda: windows_named(MAIN_TITLE), what="the window")
        time.sleep(0.5)  # inside one of the messages
        self.assertIsNone(self.proc.poll())
        pressed = time.monotonic()
        xdotool("key", "Return")
        wait_for(lambda: len(windows_named(MAIN_TITLE)) == 2, timeout=10,
                 what="the question")
        self.assertLess(time.monotonic() - pressed, 1.0)
        xdotool("key", "Return")  # Yes
        self.assertEqual(self.finish(), 2)
        self.assertEqual(self.log_messages(), ["Aborted by user.", "0 errors."])
        self.assertLess(self.packed_messages("large-src.mbx"), LARGE_FILES)

    def test_minimised_start_shows_the_percentage_in_the_title(self):
        self.start(self.src, "/p", "/i")
        titles = wait_for(
            lambda: windows_named(r"^ *[0-9]+ % - quillpack$"),
            what="the minimised title")
        self.assertEqual(len(titles), 1)
        self.assertEqual(windows_named(MAIN_TITLE), [])
        name = xdotool("getwindowname", titles[0])
        self.assertRegex(" ".join(name), r"^[0-9]+ % - quillpack$")
        self.assertEqual(self.finish(), 0)
        self.assertEqual(self.log_messages(), ["0 errors."])
        # Minimised, the percentage went only into the title.
        shown = self.texts_shown()
        self.assertIn("  0 % - quillpack", shown)
        self.assertNotIn("50 %", shown)

    def test_error_prompt_answered_no_stops_the_run(self):
        src = self.bad_source(("a.eml", b"no message here\n"),
                              ("b.eml", message("b")),
                              ("c.eml", b"nor here\n"))
        self.start(src)
        self.wait_for_box(
            "Unknown format of source file '%s\\a.eml'.\n\n"
            "Do you wish to proceed?" % to_windows(src).lower())
        xdotool("key", "n")
        # A stopped run ends with the tally in a box.
        self.wait_for_tally_box(tally(found=3, packed=0, targets=1, empty=0,
                                      system=0, own=0, failed=1, left=2,
                                      folders=0))
        xdotool("key", "Return")
        self.assertEqual(self.finish(), 2)
        self.assertFalse(any("c.eml" in t for t in self.texts_shown()))
        with open(os.path.join(self.out, "bad-src.mbx"), "rb") as f:
            self.assertEqual(f.read(), b"")
        self.assertFalse(os.path.exists(self.log_path))

    def test_a_run_with_errors_ends_with_the_tally_box(self):
        src = self.bad_source(("a.eml", b"no message here\n"),
                              ("b.eml", message("b")),
                              ("._b.eml", APPLE_DOUBLE))
        self.start(src)
        self.wait_for_box(
            "Unknown format of source file '%s\\a.eml'.\n\n"
            "Do you wish to proceed?" % to_windows(src).lower())
        xdotool("key", "Return")  # Yes, the default
        self.wait_for_tally_box(tally(found=3, packed=1, targets=1, empty=0,
                                      system=1, own=0, failed=1, left=0,
                                      folders=0))
        self.assertEqual(self.proc.poll(), None)  # the box waits for OK
        xdotool("key", "Return")
        self.assertEqual(self.finish(), 2)
        with open(os.path.join(self.out, "bad-src.mbx"), "rb") as f:
            self.assertEqual(f.read().count(b"From quillpack@localhost "), 1)
        self.assertFalse(os.path.exists(self.log_path))


if __name__ == "__main__":
    unittest.main(verbosity=2)
