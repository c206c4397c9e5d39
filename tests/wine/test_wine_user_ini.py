"""The user's INI file under %APPDATA% before the one beside the program.

Wine sets APPDATA from the prefix's profile whatever the Unix environment
says, so each run goes through cmd, which sets it for the program."""

import os
import shutil
import subprocess
import unittest

from winetest import EXE, WINE, WineTest, message, wine_env


class UserIniTest(WineTest):

    def setUp(self):
        super().setUp()
        self.write("one.eml", message())
        self.app_data = os.path.join(self.dir, "appdata")
        bin_dir = os.path.join(self.dir, "bin")
        os.makedirs(bin_dir)
        self.exe = os.path.join(bin_dir, "quillpack.exe")
        shutil.copy2(EXE, self.exe)

    def user_ini(self, data):
        return self.write(os.path.join("quillpack", "quillpack.ini"), data,
                          base=self.app_data)

    def run_with_app_data(self, *options):
        command = "set APPDATA=%s&& %s %s %s %s" % (
            self.win(self.app_data), self.win(self.exe), self.win(self.src),
            self.win(self.out), " ".join(options))
        proc = subprocess.run([WINE, "cmd", "/c", command],
                              stdin=subprocess.DEVNULL, capture_output=True,
                              env=wine_env(), timeout=120)
        return proc.returncode

    def test_the_first_file_that_exists_is_read(self):
        os.makedirs(self.app_data)
        beside = os.path.join(os.path.dirname(self.exe), "quillpack.ini")
        cases = [
            # (user's file, file beside the program, the mbox written)
            (b"[Names]\r\nMboxExtension=user\r\n",
             b"[Names]\r\nMboxExtension=beside\r\n", "src.user"),
            (None, b"[Names]\r\nMboxExtension=beside\r\n", "src.beside"),
            (None, None, "src.mbx"),
        ]
        for user, local, target in cases:
            with self.subTest(target):
                shutil.rmtree(self.out, ignore_errors=True)
                shutil.rmtree(os.path.join(self.app_data, "quillpack"),
                              ignore_errors=True)
                if os.path.exists(beside):
                    os.remove(beside)
                if user is not None:
                    self.user_ini(user)
                if local is not None:
                    self.write("quillpack.ini", local,
                               base=os.path.dirname(self.exe))
                self.assertEqual(self.run_with_app_data("/p"), 0)
                self.assertEqual(os.listdir(self.out), [target])

    def test_a_fault_names_the_users_file(self):
        path = self.user_ini(b"[Names]\r\n[names]\r\n")
        self.write("quillpack.ini", b"[Names]\r\n",
                   base=os.path.dirname(self.exe))
        self.assertEqual(self.run_with_app_data("/p"), 3)
        self.assertEqual(self.log_messages(), [
            "Error in file '%s'." % self.win(path),
            "Duplicate name on line 2.", "Program aborted."])


if __name__ == "__main__":
    unittest.main()
