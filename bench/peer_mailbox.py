"""The common peer of the benchmark: what a user would write with Python's
standard library instead of quillpack.

    peer_mailbox.py SOURCE OUTPUT [--recursive]

SOURCE is a directory (every *.eml file in it) or one file. Each source
folder becomes one mbox, named and placed as quillpack names its targets:
OUTPUT/<folder>.mbx for the folder itself and, with --recursive,
OUTPUT/<folder>/<sub>/<subsub>.mbx for the folders below it. Every file is
added with mailbox.mbox.add() as an open binary file, so the library streams
it line by line, turns its line ends into LF and quotes body lines that
begin with "From " as ">From ".

mailbox.mbox.flush() ends with fsync(); none of the other contenders syncs,
so the peer turns that off unless PEER_FSYNC=1 is set.
"""

import mailbox
import os
import sys


def without_fsync():
    def flush(f):
        f.flush()

    def close(f):
        f.flush()
        f.close()

    mailbox._sync_flush = flush
    mailbox._sync_close = close


def pack(files, target):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    box = mailbox.mbox(target, create=True)
    box.lock()
    try:
        for path in files:
            with open(path, "rb") as f:
                box.add(f)
        box.flush()
    finally:
        box.unlock()
        box.close()


def eml_files(directory, names):
    return [os.path.join(directory, n) for n in sorted(names)
            if n.endswith(".eml")]


def main(argv):
    recursive = "--recursive" in argv
    args = [a for a in argv if a != "--recursive"]
    if len(args) != 2:
        sys.stderr.write(__doc__)
        return 3
    source, output = (os.path.abspath(a) for a in args)
    if os.environ.get("PEER_FSYNC") != "1":
        without_fsync()
    if os.path.isfile(source):
        folder = os.path.basename(os.path.dirname(source))
        pack([source], os.path.join(output, folder + ".mbx"))
        return 0
    folder = os.path.basename(source.rstrip("/"))
    for directory, subdirs, names in os.walk(source):
        subdirs.sort()
        files = eml_files(directory, names)
        if files:
            relative = os.path.relpath(directory, source)
            name = folder if relative == "." else os.path.join(folder,
                                                               relative)
            pack(files, os.path.join(output, name + ".mbx"))
        if not recursive:
            break
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
