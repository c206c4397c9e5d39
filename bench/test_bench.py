"""Tests of the benchmark's own parts: that the corpora are what the table
says they are, that the launcher measures the child and not the driver, and
that the peer does the same job as quillpack."""

import hashlib
import mailbox
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import checksums  # noqa: E402
import corpus  # noqa: E402
import run  # noqa: E402

KiB, MiB = 1 << 10, 1 << 20
BIN = os.environ.get("QUILLPACK_BIN",
                     os.path.join(os.path.dirname(HERE), "build", "quillpack"))


def tree_digest(root):
    h = hashlib.sha256()
    for directory, subdirs, names in os.walk(root):
        subdirs.sort()
        for n in sorted(names):
            path = os.path.join(directory, n)
            h.update(os.path.relpath(path, root).encode())
            with open(path, "rb") as f:
                h.update(f.read())
    return h.hexdigest()


def files_under(root):
    return sorted(os.path.join(d, n) for d, _, names in os.walk(root)
                  for n in names if n.endswith(".eml"))


def header_and_body(data, line_end):
    head, _, body = data.partition(line_end * 2)
    return head.split(line_end), body.split(line_end)


class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="bench-test-")
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)


class SmallCorpusTest(Scratch):
    def make(self, name, seed, from_rate=0.0):
        root = self.path(name)
        facts = corpus.make_small(root, seed, folders=3, per_folder=20,
                                  size_range=(2 * KiB, 20 * KiB),
                                  from_rate=from_rate)
        return root, facts

    def test_same_seed_same_bytes_other_seed_other_bytes(self):
        one, facts = self.make("one", 7)
        two, _ = self.make("two", 7)
        three, _ = self.make("three", 8)
        self.assertEqual(tree_digest(one), tree_digest(two))
        self.assertNotEqual(tree_digest(one), tree_digest(three))
        self.assertEqual(facts["files"], 60)
        self.assertEqual(facts["folders"], 3)
        self.assertEqual(facts["bytes"],
                         sum(os.path.getsize(p) for p in files_under(one)))

    def test_messages_are_plain_lf_mail_without_separator_lines(self):
        root, _ = self.make("a", 11)
        for path in files_under(root):
            with open(path, "rb") as f:
                data = f.read()
            self.assertNotIn(b"\r", data)
            self.assertGreaterEqual(len(data), 2 * KiB)
            self.assertLess(len(data), 20 * KiB + 200)
            head, body = header_and_body(data, b"\n")
            self.assertFalse(head[0].startswith(b"From "))
            names = [line.split(b":")[0] for line in head
                     if not line.startswith(b"\t")]
            self.assertIn(b"Date", names)
            self.assertIn(b"From", names)
            self.assertFalse([l for l in body if l.startswith(b"From ")])

    def test_corpus_d_has_body_separator_lines_only(self):
        root, _ = self.make("d", 12, from_rate=0.05)
        quoted = 0
        for path in files_under(root):
            with open(path, "rb") as f:
                head, body = header_and_body(f.read(), b"\n")
            self.assertFalse([l for l in head if l.startswith(b"From ")])
            quoted += len([l for l in body if l.startswith(b"From ")])
        self.assertGreater(quoted, 60)


    def test_crlf_corpus_holds_the_lf_messages_with_crlf(self):
        lf, _ = self.make("lf", 13)
        crlf = self.path("crlf")
        facts = corpus.make_small(crlf, 13, folders=3, per_folder=20,
                                  size_range=(2 * KiB, 20 * KiB),
                                  line_end="\r\n")
        lf_files, crlf_files = files_under(lf), files_under(crlf)
        self.assertEqual([os.path.relpath(p, lf) for p in lf_files],
                         [os.path.relpath(p, crlf) for p in crlf_files])
        for a, b in zip(lf_files, crlf_files):
            with open(a, "rb") as f, open(b, "rb") as g:
                one, two = f.read(), g.read()
            self.assertNotIn(b"\n", two.replace(b"\r\n", b""))
            self.assertEqual(two.replace(b"\r\n", b"\n"), one)
        self.assertEqual(facts["bytes"],
                         sum(os.path.getsize(p) for p in crlf_files))


class TinyCorpusTest(Scratch):
    def test_tiny_files_names_and_folders(self):
        root = self.path("tiny")
        facts = corpus.make_tiny(root, 5, folders=4, per_folder=30)
        self.assertEqual((facts["files"], facts["folders"]), (120, 4))
        folders = sorted(os.listdir(root))
        self.assertEqual(len(folders), 4)
        self.assertTrue(all(len(n) == 40 and n.isascii() for n in folders))
        paths = files_under(root)
        self.assertEqual(len(paths), 120)
        self.assertEqual(facts["bytes"],
                         sum(os.path.getsize(p) for p in paths))
        for path in paths:
            name = os.path.basename(path)
            self.assertTrue(name.isascii() and 38 <= len(name) <= 44, name)
            with open(path, "rb") as f:
                data = f.read()
            self.assertTrue(120 <= len(data) <= 160, len(data))
            head, body = header_and_body(data, b"\n")
            self.assertEqual([l.split(b":")[0] for l in head],
                             [b"Date", b"From", b"Subject"])
            self.assertFalse([l for l in body if l.startswith(b"From ")])
        again = self.path("again")
        corpus.make_tiny(again, 5, folders=4, per_folder=30)
        self.assertEqual(tree_digest(root), tree_digest(again))


class LargeAndSingleCorpusTest(Scratch):
    def test_large_messages_are_crlf_with_a_base64_attachment(self):
        facts = corpus.make_large(self.path("b"), 3, count=2,
                                  size_range=(300 * KiB, 400 * KiB))
        for path in files_under(self.path("b")):
            with open(path, "rb") as f:
                data = f.read()
            self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
            self.assertNotIn(b"\r", data.replace(b"\r\n", b""))
            self.assertTrue(300 * KiB - 200 <= len(data) <= 400 * KiB + 200)
            part = data.split(b"Content-Disposition")[1].split(b"\r\n\r\n")[1]
            lines = part.split(b"\r\n--")[0].split(b"\r\n")
            self.assertTrue(all(len(l) <= 76 for l in lines))
            self.assertGreater(len(lines), 3000)
        self.assertEqual(facts["files"], 2)

    def test_the_message_without_an_empty_line(self):
        path = self.path("noblank.eml")
        size = 3 * MiB + 17
        corpus.make_no_empty_line(path, size)
        with open(path, "rb") as f:
            data = f.read()
        self.assertEqual(len(data), size)
        self.assertNotIn(b"\r\n\r\n", data)
        self.assertNotIn(b"\n\n", data)
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
        head = data[:400].split(b"\r\n")
        self.assertTrue(head[0].startswith(b"Received: "))
        self.assertTrue(head[1].startswith(b"Date: "))
        self.assertTrue(head[2].startswith(b"From: "))

    def test_the_file_without_a_line_end(self):
        path = self.path("noeol.eml")
        corpus.make_no_line_end(path, 2 * MiB + 5)
        with open(path, "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 2 * MiB + 5)
        self.assertNotIn(b"\n", data)
        self.assertNotIn(b"\r", data)


class ReuseTest(Scratch):
    def test_marker_reuses_and_a_change_remakes(self):
        made = []

        def build(root):
            made.append(root)
            with open(os.path.join(root, "x.eml"), "w") as f:
                f.write("x")
            return {"files": 1, "bytes": 1, "folders": 1}

        # A tuple, as the plan holds its size ranges.
        params = {"seed": 1, "size_range": (1, 2)}
        _, reused = corpus.ensure(self.path("c"), params, build)
        self.assertFalse(reused)
        _, reused = corpus.ensure(self.path("c"), params, build)
        self.assertTrue(reused)
        _, reused = corpus.ensure(self.path("c"), dict(params, seed=2), build)
        self.assertFalse(reused)
        self.assertEqual(len(made), 2)


class MeasureTest(Scratch):
    @classmethod
    def setUpClass(cls):
        cls.build = tempfile.mkdtemp(prefix="bench-measure-")
        cls.launcher = os.path.join(cls.build, "measure")
        subprocess.run([os.environ.get("CXX") or "c++", "-O2", "-o",
                        cls.launcher, os.path.join(HERE, "measure.cpp")],
                       check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.build)

    def measure(self, *argv, cap=None):
        command = [self.launcher] + (["-m", str(cap)] if cap else [])
        out = self.path("out")
        done = subprocess.run(command + [out, self.path("err")] + list(argv),
                              stdout=subprocess.PIPE, text=True, check=True)
        wall, rss, user, system, code = (int(x) for x in done.stdout.split())
        with open(out) as f:
            return wall, rss, code, f.read()

    def test_child_memory_not_the_drivers(self):
        ballast = bytearray(200 * MiB)
        ballast[::4096] = b"\1" * len(ballast[::4096])
        _, rss, code, _ = self.measure("true")
        self.assertEqual(code, 0)
        self.assertLess(rss, 8 * 1024)  # KiB
        _, rss, _, _ = self.measure(
            sys.executable, "-c", "b = bytearray(96 << 20); b[::4096] = "
            "b'\\1' * len(b[::4096])")
        self.assertGreater(rss, 96 * 1024)
        self.assertLess(rss, 160 * 1024)
        del ballast

    def test_exit_code_output_and_cap(self):
        wall, _, code, out = self.measure("sh", "-c", "echo hi; exit 3")
        self.assertEqual((code, out), (3, "hi\n"))
        self.assertGreater(wall, 0)
        _, _, code, _ = self.measure(sys.executable, "-c",
                                     "b = bytearray(400 << 20)",
                                     cap=200 * MiB)
        self.assertNotEqual(code, 0)


class PeerAndCountTest(Scratch):
    def make_tree(self):
        inbox = self.path("src", "inbox")
        os.makedirs(os.path.join(inbox, "work"))
        message = (b"Date: Mon, 1 Jan 2001 10:00:00 +0000\nFrom: a@b\n"
                   b"Subject: %d\n\nFrom here on\nbody\n")
        for i, where in enumerate(["", "", "work"]):
            with open(os.path.join(inbox, where, "%d.eml" % i), "wb") as f:
                f.write(message % i)
        return inbox

    def peer(self, source, out, *flags):
        subprocess.run([sys.executable, os.path.join(HERE, "peer_mailbox.py"),
                        source, out] + list(flags), check=True)

    def targets(self, out):
        return sorted(os.path.relpath(os.path.join(d, n), out)
                      for d, _, names in os.walk(out) for n in names
                      if n.endswith(".mbx"))

    def test_peer_packs_each_folder_as_quillpack_names_them(self):
        inbox = self.make_tree()
        out = self.path("peer")
        self.peer(inbox, out, "--recursive")
        self.assertEqual(self.targets(out),
                         ["inbox.mbx", os.path.join("inbox", "work.mbx")])
        box = mailbox.mbox(os.path.join(out, "inbox.mbx"))
        self.addCleanup(box.close)
        self.assertEqual(sorted(m["Subject"] for m in box), ["0", "1"])
        with open(os.path.join(out, "inbox.mbx"), "rb") as f:
            self.assertEqual(f.read().count(b"\n>From here on\n"), 2)
        self.assertEqual(run.separator_count(out), 3)
        flat = self.path("flat")
        self.peer(inbox, flat)
        self.assertEqual(self.targets(flat), ["inbox.mbx"])

    @unittest.skipUnless(os.access(BIN, os.X_OK), "no quillpack binary")
    def test_quillpack_copies_make_the_peers_targets_and_read_their_ini(self):
        inbox = self.make_tree()
        copies, _ = run.private_copies(BIN, self.path("bin"))
        env = dict(os.environ, TMPDIR=self.dir)
        self.peer(inbox, self.path("peer"), "--recursive")
        separators = {}
        for name, binary in copies.items():
            out = self.path(name)
            subprocess.run([binary, os.path.join(inbox, "*.eml"), out + "/",
                            "/p", "/s"], check=True, env=env)
            self.assertEqual(self.targets(out),
                             self.targets(self.path("peer")))
            separators[name] = run.separator_count(out)
        # Unquoted, each body line "From here on" reads as a separator; the
        # copies with an Mbox key quote nothing either.
        self.assertEqual(separators,
                         {"plain": 6, "from": 3, "date": 6, "skip": 6})

    def test_separator_count_across_block_boundaries(self):
        d = self.path("count")
        os.makedirs(d)
        with open(os.path.join(d, "x.mbx"), "wb") as f:
            f.write(b"From a\r\nx\r\nFrom b\r\n From c\r\n>From d\r\nFrom:\r\n"
                    b"From e\r\n")
        with open(os.path.join(d, "y.mbx"), "wb") as f:
            f.write(b"x\nFrom f\n")
        for block in (1, 3, 5, 6, 7, 1000):
            self.assertEqual(run.separator_count(d, block), 4, block)


class SummaryTest(unittest.TestCase):
    def runs(self, *pairs):
        return [{"round": r, "wall": w, "user": c * 0.75, "sys": c * 0.25,
                 "maxrss_kib": 4096, "exit": 0, "output_bytes": 0}
                for r, (w, c) in enumerate(pairs)]

    def test_ratios_pair_rounds_and_targets_say_by_how_much(self):
        qp = self.runs((2.0, 1.0), (3.0, 1.2), (2.4, 1.1))
        cat = self.runs((1.0, 1.0), (2.0, 1.0), (2.0, 0.5))
        floor = self.runs((2.0, 0.5), (2.0, 1.0), (2.0, 1.0))
        del qp[1]  # a round without quillpack pairs with nothing
        facts = {"files": 10, "bytes": 10 ** 6}
        result = run.summarise({"title": "e"}, facts,
                               {"quillpack": qp, "cat": cat, "floor": floor},
                               [])
        row = result["contenders"]["quillpack"]
        self.assertEqual(row["rounds"], 2)
        self.assertAlmostEqual(row["vs_cat"], 2.2 / 2.0)
        self.assertAlmostEqual(row["cpu_vs_cat"], 1.05 / 1.0)
        self.assertAlmostEqual(row["wall_ratio_min"], 1.2)
        self.assertAlmostEqual(row["wall_ratio_max"], 2.0)
        self.assertAlmostEqual(row["cpu_ratio_max"], 2.2)
        self.assertEqual(run.ratio_text(row, "cpu", "cat"),
                         "1.05 (1.00-2.20)")
        # The floor's ratios stand beside cat's, paired by round as well.
        self.assertEqual(run.ratio_text(row, "cpu", "floor"),
                         "1.05 (1.10-2.00)")
        self.assertEqual(run.ratio_text(row, "wall", "floor"),
                         "1.10 (1.00-1.20)")
        verdicts = {text: (figure, met, over) for text, figure, met, over
                    in run.targets({"e": result})}
        self.assertEqual(verdicts, {
            "(e) CPU time ÷ floor <= 1.25": ("1.05", True, -0.16),
            "(e) wall time ÷ floor <= 1.25": ("1.10", True, -0.12),
            "(e) peak memory <= 16 MiB": ("4.0 MiB", True, -0.75)})

    def test_one_scratch_one_run(self):
        scratch = tempfile.mkdtemp(prefix="bench-lock-")
        self.addCleanup(shutil.rmtree, scratch)
        held = run.hold_scratch(scratch)
        self.addCleanup(held.close)
        with self.assertRaises(SystemExit):
            run.hold_scratch(scratch)


@unittest.skipUnless(os.access(BIN, os.X_OK), "no quillpack binary")
class MboxBytesTest(Scratch):
    """The bytes of the mbox files stay those recorded for every shape."""

    def test_every_shape_writes_the_recorded_bytes(self):
        record = checksums.load_record()
        self.assertEqual(sorted(record), sorted(checksums.SHAPES))
        found = checksums.pack_all(BIN, self.dir)
        for name in checksums.SHAPES:
            with self.subTest(shape=name):
                self.assertEqual(found[name]["exit"], record[name]["exit"])
                self.assertEqual(found[name]["files"], record[name]["files"])


if __name__ == "__main__":
    unittest.main()
