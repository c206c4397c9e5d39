"""The Linux packages and the install: what each holds, and that the program
in it packs the samples as the build's own program does. Everything is
unpacked or installed into scratch directories, never onto this machine.

QUILLPACK_BUILD is the build the packages come from; QUILLPACK_TEST_BUILD a
build of its own for make install and make uninstall."""

import gzip
import os
import re
import shutil
import subprocess
import tarfile
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
BUILD = os.environ.get("QUILLPACK_BUILD", os.path.join(ROOT, "build"))
TEST_BUILD = os.environ.get("QUILLPACK_TEST_BUILD",
                            os.path.join(ROOT, "build-ship"))
SAMPLES = os.path.join(ROOT, "samples", "mail")


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(quillpack VERSION ([0-9.]+)",
                         f.read()).group(1)


VERSION = project_version()

# What an install holds, below its prefix.
INSTALLED = {
    "bin/quillpack",
    "share/man/man1/quillpack.1",
    "share/doc/quillpack/README.md",
    "share/doc/quillpack/LICENSE",
    "share/doc/quillpack/quillpack.ini",
}
# The Debian package holds the manual page compressed, and the copyright
# file and the changelog that Debian asks for.
DEB_INSTALLED = (INSTALLED - {"share/man/man1/quillpack.1"}) | {
    "share/man/man1/quillpack.1.gz",
    "share/doc/quillpack/copyright",
    "share/doc/quillpack/changelog.gz",
}


def files_under(root):
    found = set()
    for dirpath, _, filenames in os.walk(root):
        for name in filenames:
            found.add(os.path.relpath(os.path.join(dirpath, name), root))
    return found


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


class PackageTest(unittest.TestCase):

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qp-package-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def pack_samples(self, program, name):
        """Packs the samples with /s /p; the exit code and every mbox file."""
        out = os.path.join(self.dir, name, "out")
        tmp = os.path.join(self.dir, name, "tmp")
        os.makedirs(tmp)
        env = dict(os.environ, TMPDIR=tmp + "/",
                   XDG_CONFIG_HOME=os.path.join(self.dir, name, "config"))
        env.pop("TERM", None)
        proc = subprocess.run([program, SAMPLES, out, "/s", "/p"], env=env,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=120)
        mboxes = {path: read(os.path.join(out, path))
                  for path in files_under(out)}
        return proc.returncode, mboxes

    def assert_packs_like_the_build(self, program):
        expected = self.pack_samples(os.path.join(BUILD, "quillpack"), "ref")
        self.assertEqual(expected[0], 2)  # notes.eml is no message
        self.assertIn("mail.mbx", expected[1])
        self.assertEqual(self.pack_samples(program, "pkg"), expected)

    def assert_tree(self, root, installed=INSTALLED):
        self.assertEqual(files_under(root), installed)
        self.assertTrue(os.access(os.path.join(root, "bin/quillpack"),
                                  os.X_OK))
        for name in ("README.md", "LICENSE", "quillpack.ini"):
            source = "doc/quillpack.ini" if name == "quillpack.ini" else name
            self.assertEqual(read(os.path.join(root, "share/doc/quillpack",
                                               name)),
                             read(os.path.join(ROOT, source)), name)
        page = os.path.join(root, "share/man/man1/quillpack.1")
        if os.path.exists(page):
            page = read(page, "r")
        else:
            page = self.gunzip(page + ".gz").decode()
        self.assertIn('"quillpack %s"' % VERSION, page.split("\n")[1])
        self.assert_packs_like_the_build(os.path.join(root, "bin/quillpack"))

    def gunzip(self, path):
        """The contents of a file made by gzip -n: no name, no time."""
        data = read(path)
        self.assertEqual(data[:3], b"\x1f\x8b\x08", path)
        self.assertEqual((data[3] & 0x08, data[4:8]), (0, b"\0\0\0\0"), path)
        return gzip.decompress(data)

    def test_the_version_is_the_same_everywhere(self):
        usage = subprocess.run([os.path.join(BUILD, "quillpack")],
                               stdin=subprocess.DEVNULL, capture_output=True,
                               timeout=60).stderr.decode()
        self.assertTrue(usage.startswith("quillpack %s    " % VERSION), usage)
        version = subprocess.run([os.path.join(BUILD, "quillpack"), "-V"],
                                 capture_output=True, timeout=60)
        self.assertEqual((version.returncode, version.stdout),
                         (0, b"quillpack %s\n" % VERSION.encode()))
        # The changelog's newest entry is this version.
        self.assertTrue(read(os.path.join(ROOT, "doc/changelog"), "r")
                        .startswith("quillpack (%s) " % VERSION))
        self.assertIn("Copyright (c) 2026 the quillpack developers",
                      usage.split("\n")[0])
        self.assertIn("Copyright (c) 2026 the quillpack developers\n",
                      read(os.path.join(ROOT, "LICENSE"), "r"))
        for name in ("quillpack_%s_amd64.deb" % VERSION,
                     "quillpack-%s-Linux.tar.gz" % VERSION):
            self.assertTrue(os.path.isfile(os.path.join(BUILD, name)), name)

    def test_deb(self):
        deb = os.path.join(BUILD, "quillpack_%s_amd64.deb" % VERSION)
        fields = {}
        for field in ("Package", "Version", "Architecture", "Depends",
                      "Maintainer"):
            fields[field] = subprocess.run(
                ["dpkg-deb", "-f", deb, field], capture_output=True,
                check=True, timeout=60).stdout.decode().strip()
        self.assertEqual(fields["Package"], "quillpack")
        self.assertEqual(fields["Version"], VERSION)
        self.assertEqual(fields["Architecture"], "amd64")
        # From the binary's own libraries, each with its least version.
        depends = [d.strip() for d in fields["Depends"].split(",")]
        for library in ("libc6", "libstdc++6"):
            self.assertTrue(any(re.fullmatch(r"%s \(>= [0-9.~]+\)" %
                                             re.escape(library), d)
                                for d in depends), fields["Depends"])
        root = os.path.join(self.dir, "root")
        subprocess.run(["dpkg", "-x", deb, root], check=True, timeout=60)
        usr = os.path.join(root, "usr")
        self.assert_tree(usr, DEB_INSTALLED)
        self.assertEqual(os.listdir(root), ["usr"])
        docs = os.path.join(usr, "share/doc/quillpack")
        self.assertEqual(self.gunzip(os.path.join(docs, "changelog.gz")),
                         read(os.path.join(ROOT, "doc/changelog")))
        copyright = read(os.path.join(docs, "copyright"), "r")
        self.assertTrue(copyright.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/"
            "copyright-format/1.0/\n"), copyright)
        self.assertIn("\nLicense: Expat\n", copyright)
        self.assertRegex(fields["Maintainer"], r"^[^<>]+ <[^@<>]+@[^@<>]+>$")

    def test_deb_is_lintian_clean(self):
        deb = os.path.join(BUILD, "quillpack_%s_amd64.deb" % VERSION)
        done = subprocess.run(["lintian", "--fail-on", "error,warning", deb],
                              capture_output=True, timeout=600)
        tags = [line for line in done.stdout.decode().split("\n")
                if re.match(r"^[EW]: ", line)]
        self.assertEqual((done.returncode, tags), (0, []),
                         done.stdout.decode() + done.stderr.decode())

    def test_tar_gz(self):
        name = "quillpack-%s-Linux" % VERSION
        root = os.path.join(self.dir, "root")
        with tarfile.open(os.path.join(BUILD, name + ".tar.gz")) as archive:
            for member in archive.getmembers():
                self.assertTrue(member.name.startswith(name + "/"),
                                member.name)
            archive.extractall(root, filter="tar")
        self.assertEqual(os.listdir(root), [name])
        self.assert_tree(os.path.join(root, name))

    def make(self, *args):
        env = dict(os.environ)
        env.pop("DESTDIR", None)  # only where a test gives one
        return subprocess.run(
            ["make", "-C", ROOT, "BUILD=" + TEST_BUILD,
             "CMAKE_FLAGS=-DQUILLPACK_TESTS=OFF", *args], env=env,
            stdin=subprocess.DEVNULL, capture_output=True, timeout=1800)

    def test_install_then_uninstall(self):
        prefix = os.path.join(self.dir, "prefix")
        done = self.make("install", "PREFIX=" + prefix)
        self.assertEqual(done.returncode, 0, done.stderr.decode()[-2000:])
        self.assert_tree(prefix)
        # A package staged in between must not change what uninstall removes.
        done = subprocess.run(["cmake", "--build", TEST_BUILD, "--target",
                               "package"], capture_output=True, timeout=600)
        self.assertEqual(done.returncode, 0, done.stderr.decode()[-2000:])
        done = self.make("uninstall")
        self.assertEqual(done.returncode, 0, done.stderr.decode()[-2000:])
        self.assertEqual(files_under(prefix), set())
        self.assertFalse(os.path.exists(
            os.path.join(prefix, "share/doc/quillpack")))
        self.assertTrue(os.path.isdir(os.path.join(prefix, "share/man/man1")))
        again = self.make("uninstall")
        self.assertNotEqual(again.returncode, 0)
        self.assertIn(b"Nothing to uninstall", again.stderr)

    def test_uninstall_removes_what_a_destdir_install_wrote(self):
        stage = os.path.join(self.dir, "stage")
        prefix = os.path.join(self.dir, "prefix")
        done = self.make("install", "PREFIX=" + prefix, "DESTDIR=" + stage)
        self.assertEqual(done.returncode, 0, done.stderr.decode()[-2000:])
        self.assertFalse(os.path.exists(prefix))
        staged = stage + prefix
        self.assertEqual(files_under(staged), INSTALLED)
        done = self.make("uninstall")
        self.assertEqual(done.returncode, 0, done.stderr.decode()[-2000:])
        self.assertEqual(files_under(stage), set())


if __name__ == "__main__":
    unittest.main()
