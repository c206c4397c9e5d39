"""Deterministic benchmark corpora: every byte follows from a seed.

Each corpus lives in its own directory under the scratch directory with a
marker file holding the parameters it was made from; a corpus whose marker
matches is reused, anything else is made again from scratch.
"""

import base64
import json
import os
import random
import shutil

# Raise when the bytes a corpus holds change for the same parameters.
GENERATOR_VERSION = 3
MARKER = ".bench-corpus.json"

FIRST_NAMES = ["Alice", "Bruno", "Chiara", "Dmitri", "Elena", "Farid", "Greta",
               "Hiroshi", "Ines", "Jonas", "Kamala", "Lars", "Maya", "Nils",
               "Olga", "Pedro", "Quentin", "Rosa", "Sven", "Tamar", "Ulrich",
               "Vera", "Wei", "Ximena", "Yusuf", "Zofia"]
LAST_NAMES = ["Abbott", "Berger", "Costa", "Dubois", "Eriksen", "Fischer",
              "Garcia", "Horvat", "Ivanova", "Jensen", "Kowalski", "Lindqvist",
              "Moreau", "Novak", "Okafor", "Petrov", "Quinn", "Rossi",
              "Schmidt", "Tanaka", "Urban", "Virtanen", "Weber", "Yilmaz"]
DOMAINS = ["example.org", "example.com", "example.net", "mail.example.org",
           "lists.example.net", "corp.example.com"]
WORDS = ("the of and to in is that for it as with was on be at by this had "
         "not are but from or have an they which one you were her all she "
         "there would their we him been has when who will more no if out so "
         "said what up its about into than them can only other new some "
         "could time these two may then do first any my now such like our "
         "over man me even most made after also did many before must through "
         "back years where much your way well down should because each just "
         "those people how too little state good very make world still own "
         "see men work long get here between both life being under never day "
         "same another know while last might us great old year off come "
         "since against go came right used take three budget meeting report "
         "figures draft review invoice schedule release server backup office "
         "contract quarter travel minutes agenda proposal estimate").split()
SUBJECTS = ["quarterly figures", "meeting on Thursday", "draft contract",
            "travel plans", "server maintenance window", "invoice 2291",
            "minutes of the board meeting", "release notes", "holiday rota",
            "budget review", "new office layout", "backup failure report",
            "conference agenda", "project estimate", "lunch"]
MAILERS = ["Mozilla/5.0 (X11; Linux x86_64; rv:102.0) Gecko/20100101 "
           "Thunderbird/102.15.1", "Microsoft Outlook 16.0",
           "Apple Mail (2.3731.700.6)", "Mutt/2.2.9 (2022-11-12)",
           "Roundcube Webmail/1.6.2"]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
          "Oct", "Nov", "Dec"]


# ---- Pieces of a message ----

def address(rng):
    first = rng.choice(FIRST_NAMES)
    last = rng.choice(LAST_NAMES)
    mailbox = "%s.%s@%s" % (first.lower(), last.lower(), rng.choice(DOMAINS))
    return first + " " + last, mailbox


def date_text(rng):
    return "%s, %d %s %d %02d:%02d:%02d %s" % (
        rng.choice(DAYS), rng.randint(1, 28), rng.choice(MONTHS),
        rng.randint(1998, 2024), rng.randint(0, 23), rng.randint(0, 59),
        rng.randint(0, 59), rng.choice(["+0000", "+0100", "-0500", "+0530"]))


def header_lines(rng, content_type, encoding):
    """A realistic header block (no empty line), as text lines."""
    sender_name, sender = address(rng)
    to_name, to = address(rng)
    date = date_text(rng)
    lines = ["Return-Path: <%s>" % sender]
    for hop in range(rng.randint(2, 4)):
        lines += ["Received: from mx%d.%s (mx%d.%s [192.0.2.%d])" % (
                      hop, rng.choice(DOMAINS), hop, rng.choice(DOMAINS),
                      rng.randint(1, 254)),
                  "\tby mail.%s (Postfix) with ESMTPS id %08X" % (
                      rng.choice(DOMAINS), rng.getrandbits(32)),
                  "\tfor <%s>; %s" % (to, date)]
    lines += ["Message-ID: <%016x.%d@%s>" % (rng.getrandbits(64),
                                             rng.randint(1, 99999),
                                             rng.choice(DOMAINS)),
              "Date: " + date,
              "From: %s <%s>" % (sender_name, sender),
              "To: %s <%s>" % (to_name, to)]
    if rng.random() < 0.4:
        lines.append("Cc: %s <%s>" % address(rng))
    subject = rng.choice(SUBJECTS)
    lines.append("Subject: " + ("Re: " if rng.random() < 0.5 else "") + subject)
    if rng.random() < 0.5:
        lines.append("In-Reply-To: <%016x@%s>" % (rng.getrandbits(64),
                                                  rng.choice(DOMAINS)))
    lines += ["MIME-Version: 1.0",
              "Content-Type: " + content_type,
              "Content-Transfer-Encoding: " + encoding,
              "User-Agent: " + rng.choice(MAILERS),
              "X-Spam-Status: No, score=-%d.%d" % (rng.randint(0, 5),
                                                   rng.randint(0, 9))]
    return lines


def text_line_pool(rng, count=4000):
    """Body lines of ordinary prose, a few of them quoted replies."""
    pool = []
    while len(pool) < count:
        words = []
        width = rng.randint(30, 76)
        while sum(len(w) + 1 for w in words) < width:
            words.append(rng.choice(WORDS))
        if words[0] == "from":
            continue  # such lines are corpus (d)'s business
        line = " ".join(words)
        line = line[0].upper() + line[1:]
        if rng.random() < 0.15:
            line = "> " + line
        pool.append(line)
    return pool


def from_line_pool(rng, count=200):
    """Body lines that read as separator lines: "From " and a word."""
    return ["From " + " ".join(rng.choice(WORDS) for _ in range(
        rng.randint(3, 9))) for _ in range(count)]


def small_message(rng, size, pool, from_pool=None, from_rate=0.0,
                  line_end="\n"):
    """A text message of about size bytes (counted with LF line ends)."""
    head = header_lines(rng, "text/plain; charset=utf-8; format=flowed",
                        "8bit")
    out = "\n".join(head) + "\n\n"
    body = []
    length = len(out)
    while length < size:
        if from_pool and rng.random() < from_rate:
            line = rng.choice(from_pool)
        elif rng.random() < 0.08:
            line = ""  # paragraph break
        else:
            line = rng.choice(pool)
        body.append(line)
        length += len(line) + 1
    out += "\n".join(body) + "\n"
    if line_end != "\n":
        out = out.replace("\n", line_end)
    return out.encode("utf-8")


def large_message(rng, size):
    """A MIME message of about size bytes: a short text part and a base64
    attachment, CR LF line ends throughout."""
    boundary = "----=_Part_%016x" % rng.getrandbits(64)
    head = header_lines(rng, 'multipart/mixed; boundary="%s"' % boundary,
                        "7bit")
    text = ["--" + boundary,
            "Content-Type: text/plain; charset=utf-8",
            "",
            "Please find the archive attached.",
            "",
            "--" + boundary,
            "Content-Type: application/octet-stream; name=\"data-%04d.bin\""
            % rng.randint(0, 9999),
            "Content-Transfer-Encoding: base64",
            "Content-Disposition: attachment; filename=\"data.bin\"",
            ""]
    front = ("\r\n".join(head) + "\r\n\r\n" + "\r\n".join(text) + "\r\n")
    tail = "\r\n--" + boundary + "--\r\n"
    # base64 of n raw bytes in 76-column lines of 78 bytes with CR LF.
    raw = max(57, (size - len(front) - len(tail)) * 57 // 78)
    encoded = base64.encodebytes(rng.randbytes(raw)).replace(b"\n", b"\r\n")
    return front.encode() + encoded.rstrip(b"\r\n") + tail.encode()


# ---- Corpora ----

def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_small(root, seed, folders, per_folder, size_range, from_rate=0.0,
               line_end="\n"):
    """Messages in a two-level tree of folders: top folders, each holding
    messages and subfolders of messages, folders in total. With CR LF line
    ends the same seed gives the same messages as with LF."""
    rng = random.Random(seed)
    pool = text_line_pool(rng)
    from_pool = from_line_pool(rng) if from_rate else None
    tops = max(1, folders // 100)
    subs = folders // tops - 1
    files = total = 0
    for t in range(tops):
        top = os.path.join(root, "box-%02d" % t)
        directories = [top] + [os.path.join(top, "sub-%03d" % s)
                               for s in range(subs)]
        for directory in directories:
            os.makedirs(directory, exist_ok=True)
            for m in range(per_folder):
                data = small_message(rng, rng.randint(*size_range), pool,
                                     from_pool, from_rate, line_end)
                write_file(os.path.join(directory, "%05d.eml" % m), data)
                files += 1
                total += len(data)
    return {"files": files, "bytes": total, "folders": tops * (subs + 1)}


def make_large(root, seed, count, size_range):
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    total = 0
    for m in range(count):
        data = large_message(rng, rng.randint(*size_range))
        write_file(os.path.join(root, "%04d.eml" % m), data)
        total += len(data)
    return {"files": count, "bytes": total, "folders": 1}


def padded_name(prefix, rng, length):
    """An ASCII name of exactly length characters: prefix, then words."""
    name = prefix
    while len(name) < length:
        name += "-" + rng.choice(WORDS)
    return name[:length]


TINY_HEAD = "Date: %s\nFrom: %s <%s>\nSubject: note %07d\n\n"


def make_tiny(root, seed, folders, per_folder, name_length=40, size=130):
    """folders folders of per_folder tiny messages (about size bytes each),
    folder and file names of name_length ASCII characters. Made for a
    million files: the folder is opened once and each file written with
    three plain calls, the bytes built from a few pieces drawn per folder."""
    rng = random.Random(seed)
    pool = [l for l in text_line_pool(rng, 500) if not l.startswith(">")]
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
    flags |= getattr(os, "O_CLOEXEC", 0)
    files = total = 0
    for f in range(folders):
        folder = padded_name("%04d" % f, rng, name_length)
        directory = os.path.join(root, folder)
        os.makedirs(directory)
        # Per folder a few dates and senders; per file one of each and a
        # body line cut or padded to the size.
        dates = [date_text(rng) for _ in range(8)]
        senders = [address(rng) for _ in range(8)]
        stem = padded_name("", rng, name_length - 11)[1:]
        fd = os.open(directory, os.O_RDONLY | getattr(os, "O_DIRECTORY", 0))
        try:
            for m in range(per_folder):
                name, mailbox = senders[(m * 5) % 8]
                head = TINY_HEAD % (dates[m % 8], name, mailbox, files)
                line = pool[(files * 7) % len(pool)] + " " + "." * size
                room = max(8, size - len(head) - 1)
                data = (head + line[:room].rstrip() + "\n").encode()
                out = os.open("%06d-%s.eml" % (m, stem), flags, 0o644,
                              dir_fd=fd)
                os.write(out, data)
                os.close(out)
                files += 1
                total += len(data)
        finally:
            os.close(fd)
    return {"files": files, "bytes": total, "folders": folders}


def make_no_empty_line(path, size):
    """One message of exactly size bytes in which no line is empty: a header
    block that never ends. CR LF line ends, so the mbox holds the same
    bytes plus the separator line."""
    rng = random.Random(size)
    head = ("Received: from mx0.example.org by mail.example.com\r\n"
            "Date: " + date_text(rng) + "\r\n"
            "From: Alice Abbott <alice.abbott@example.org>\r\n"
            "Subject: a header that never ends\r\n").encode()
    # 1 MiB of 78-byte header lines, repeated; the last line is cut short.
    lines = []
    for i in range((1 << 20) // 78 + 1):
        lines.append(b"X-Filler-%06d: %s\r\n" % (
            i, base64.b64encode(rng.randbytes(45))[:51]))
    block = b"".join(lines)
    with open(path, "wb") as f:
        f.write(head)
        left = size - len(head)
        while left > 0:
            piece = block[:left]
            f.write(piece)
            left -= len(piece)
    # A cut line may end in a lone CR or nothing; either is no empty line.
    return size


def make_no_line_end(path, size):
    """One file of exactly size bytes without a CR or LF anywhere."""
    head = b"Subject: one line that never ends "
    block = (b"abcdefghijklmnopqrstuvwxyz0123456789 " * 30000)[:1 << 20]
    with open(path, "wb") as f:
        f.write(head)
        left = size - len(head)
        while left > 0:
            piece = block[:left]
            f.write(piece)
            left -= len(piece)
    return size


# ---- Reuse ----

def read_marker(root):
    try:
        with open(os.path.join(root, MARKER)) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def ensure(root, params, build):
    """The corpus at root made from params, reusing one already there.
    build(root) makes it and returns its facts (files, bytes, folders)."""
    # As the marker stores it: JSON has lists, not tuples.
    wanted = json.loads(json.dumps(dict(params, version=GENERATOR_VERSION)))
    marker = read_marker(root)
    if marker and marker.get("params") == wanted:
        return marker["facts"], True
    if os.path.exists(root):
        shutil.rmtree(root)
    os.makedirs(root)
    facts = build(root)
    with open(os.path.join(root, MARKER), "w") as f:
        json.dump({"params": wanted, "facts": facts}, f)
    return facts, False
