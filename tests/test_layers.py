"""The folders of the source form one order, bottom to top, written in the
README; no file includes a header of a folder above its own."""
import os
import re
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Folders outside the order: they sit on top and may include any floor.
OUTSIDE = {"tests", "fuzz", "bench", "build"}
# Includes that cross the order, each with its reason: none today.
CROSSINGS = set()
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def folder_order():
    """The floors as the README's "Folders" section names them."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        text = f.read()
    match = re.search(r"^Bottom to top: ([^.]+)\.", text, re.M)
    if not match:
        raise AssertionError("README names no folder order")
    return re.findall(r"`([a-z]+)/`", match.group(1))


def source_files():
    for folder in sorted(os.listdir(ROOT)):
        path = os.path.join(ROOT, folder)
        if folder.startswith(".") or folder in OUTSIDE or \
                not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if name.endswith((".cpp", ".h")):
                yield folder, os.path.join(folder, name)


def read_sources():
    for folder, path in source_files():
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            yield folder, path, f.read()


def upward_includes(order, sources):
    """Each include of a folder above the file's own, or of no floor."""
    rank = {folder: i for i, folder in enumerate(order)}
    found = []
    for folder, path, text in sources:
        for other in INCLUDE.findall(text):
            if other in OUTSIDE or (path, other) in CROSSINGS:
                continue
            if other not in rank or rank[other] > rank[folder]:
                found.append("%s includes %s/" % (path, other))
    return found


class LayersTest(unittest.TestCase):

    def test_every_source_folder_has_its_floor(self):
        order = folder_order()
        self.assertEqual(len(order), len(set(order)), order)
        folders = {folder for folder, _ in source_files()}
        self.assertEqual(sorted(folders - set(order)), [])

    def test_no_folder_includes_one_above_it(self):
        self.assertEqual(upward_includes(folder_order(), read_sources()), [])

    def test_the_check_sees_upward_and_unknown_includes(self):
        sources = [
            ("base", "base/a.cpp", '#include "base/a.h"\n#include <string>\n'),
            ("app", "app/m.cpp", '#include "base/a.h"\n#include "tests/s.h"\n'),
            ("base", "base/b.cpp", '  #  include "app/job.h"\n'),
            ("base", "base/c.cpp", '#include "nowhere/x.h"\n'),
        ]
        self.assertEqual(upward_includes(["base", "app"], sources),
                         ["base/b.cpp includes app/",
                          "base/c.cpp includes nowhere/"])


if __name__ == "__main__":
    unittest.main()
