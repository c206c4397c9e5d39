"""Which INI file a run reads: the user's own (XDG_CONFIG_HOME, else
~/.config), else the one beside the program; and the example INI file that
ships with quillpack."""

import os
import re
import shutil
import socket
import subprocess
import unittest

from qptest import ROOT, QuillpackTest, message, packed

EXAMPLE = os.path.join(ROOT, "doc", "quillpack.ini")


def bound_socket(path):
    with socket.socket(socket.AF_UNIX) as listener:
        listener.bind(path)  # the name stays after the close


class UserIniTest(QuillpackTest):
    """Every place holds an INI file of its own mbox extension, so that the
    target's name tells which file was read."""

    def setUp(self):
        super().setUp()
        self.write("one.eml", message())
        bindir = os.path.join(self.dir, "bin")
        os.makedirs(bindir)
        self.program = os.path.join(bindir, "quillpack")
        shutil.copy(self.binary, self.program)
        self.places = {
            "xdg": os.path.join(self.dir, "xdg"),
            "home": os.path.join(self.dir, "home", ".config"),
            "relative": os.path.join(self.dir, "relxdg"),
            "exe": None,
        }

    def ini_at(self, place):
        if place == "exe":
            return os.path.join(os.path.dirname(self.program), "quillpack.ini")
        return os.path.join(self.places[place], "quillpack", "quillpack.ini")

    def put(self, place, data):
        path = self.ini_at(place)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def run_with(self, xdg, home, *args):
        """xdg and home: a place name, a literal value, or None to unset."""
        env = self.env()
        for name, value in (("XDG_CONFIG_HOME", xdg), ("HOME", home)):
            if value is None:
                env.pop(name, None)
            elif value == "home":
                env[name] = os.path.join(self.dir, "home")
            else:
                env[name] = self.places.get(value, value)
        args = args or (self.src, self.out)
        proc = subprocess.run([self.program, *args], env=env, cwd=self.dir,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=120, start_new_session=True)
        return proc

    # (title, XDG_CONFIG_HOME, HOME, places with a file, the file read)
    PLACES = [
        ("xdg first", "xdg", "home", ("xdg", "home", "exe"), "xdg"),
        ("xdg set: home not looked at", "xdg", "home", ("home", "exe"), "exe"),
        ("xdg unset: home", None, "home", ("home", "exe"), "home"),
        ("xdg empty: home", "", "home", ("xdg", "home", "exe"), "home"),
        ("xdg relative: home", "relxdg", "home", ("relative", "home", "exe"),
         "home"),
        ("xdg relative, no home: beside the program", "relxdg", None,
         ("relative", "exe"), "exe"),
        ("nothing set: beside the program", None, None, ("home", "exe"),
         "exe"),
        ("xdg without home", "xdg", None, ("xdg", "exe"), "xdg"),
        ("no file anywhere: defaults", "xdg", "home", (), None),
    ]

    def test_the_first_file_that_exists_is_read(self):
        for title, xdg, home, present, read in self.PLACES:
            with self.subTest(title):
                shutil.rmtree(self.out, ignore_errors=True)
                for place in ("xdg", "home", "relative", "exe"):
                    path = self.ini_at(place)
                    if place in present:
                        self.put(place, b"[Names]\nMboxExtension=.%s\n" %
                                 place.encode())
                    elif os.path.exists(path):
                        os.remove(path)
                proc = self.run_with(xdg, home)
                self.assertEqual((proc.returncode, proc.stderr), (0, b""))
                self.assertEqual(os.listdir(self.out),
                                 ["src.%s" % (read or "mbx")])

    def test_a_fault_names_the_users_file(self):
        self.put("exe", b"[Names]\n")
        path = self.put("xdg", b"[Names]\n[names]\n")
        proc = self.run_with("xdg", "home")
        self.assertEqual(proc.returncode, 3)
        self.assertEqual(proc.stderr.decode(),
                         "Error in file '%s'.\nDuplicate name on line 2.\n"
                         "Program aborted.\n" % path)
        self.assertEqual(os.listdir(self.out), [])

    def test_a_users_file_that_cannot_be_read_still_wins(self):
        self.put("exe", b"[Names]\n[names]\n")
        os.makedirs(self.ini_at("home"))  # a directory: there, unreadable
        proc = self.run_with(None, "home")
        self.assertEqual((proc.returncode, proc.stderr), (0, b""))
        self.assertEqual(os.listdir(self.out), ["src.mbx"])

    # What else may stand at the user's place: none of it is a file to read,
    # and none may hold up the run or let the faulty file beside the program
    # stand in for it.
    ODD_ENTRIES = [
        ("FIFO", lambda path: os.mkfifo(path)),
        ("socket", lambda path: bound_socket(path)),
        ("link to a device", lambda path: os.symlink("/dev/zero", path)),
        ("dangling link", lambda path: os.symlink("nowhere.ini", path)),
        ("link loop", lambda path: os.symlink(os.path.basename(path), path)),
    ]

    def test_whatever_is_at_the_users_place_wins(self):
        self.put("exe", b"[Names]\n[names]\n")
        path = self.ini_at("xdg")
        os.makedirs(os.path.dirname(path))
        for title, make in self.ODD_ENTRIES:
            with self.subTest(title):
                shutil.rmtree(self.out, ignore_errors=True)
                make(path)
                proc = self.run_with("xdg", "home")
                os.remove(path)
                self.assertEqual((proc.returncode, proc.stderr), (0, b""))
                self.assertEqual(os.listdir(self.out), ["src.mbx"])

    def test_the_example_file_is_valid_and_at_the_defaults(self):
        body = b"Hello.\nFrom the start of a line\n>From quoted\n"
        self.write("one.eml", message(body=body))
        with open(EXAMPLE, "rb") as f:
            example = f.read()
        self.put("xdg", example)
        proc = self.run_with("xdg", None)
        if proc.returncode == 3 and b"Unknown section 'Mbox'." in proc.stderr:
            # A build whose writer has no [Mbox] settings: the rest of the
            # file must still hold.
            self.put("xdg", example[:example.index(b"\n[Mbox]")])
            proc = self.run_with("xdg", None)
        self.assertEqual((proc.returncode, proc.stderr), (0, b""))
        self.assertEqual(self.read("src.mbx"), packed(message(body=body)))

    def test_the_example_file_explains_every_key(self):
        with open(EXAMPLE, encoding="ascii") as f:
            lines = f.read().split("\n")
        sections = [l for l in lines if l.startswith("[")]
        self.assertEqual(sections, ["[FromLines]", "[Names]", "[Mbox]"])
        for i, line in enumerate(lines):
            if line and line[0] not in ";[":
                with self.subTest(line):
                    self.assertIn("=", line)
                    self.assertTrue(lines[i - 1].startswith(";"))

    def test_the_documents_take_the_date_from_the_first_received(self):
        # As the separator line does: the topmost Received: field, the one
        # the last server added.
        for name in ("README.md", "doc/quillpack.1.in", "doc/quillpack.ini"):
            with open(os.path.join(ROOT, name), encoding="utf-8") as f:
                text = f.read()
            text = re.sub(r"^\.[A-Z]+ ?", "", text, flags=re.M)  # roff macros
            text = " ".join(text.replace("`", "").split())
            before = [text[max(0, m.start() - 30):m.start()]
                      for m in re.finditer(r"Received:", text)]
            with self.subTest(name):
                self.assertTrue(before)
                for words in before:
                    self.assertIn("first", words)
                    self.assertNotIn("last", words)


if __name__ == "__main__":
    unittest.main()
