"""Apple Mail's files and mailboxes, made here to its rules: messages known
by their content, the parts of partial messages put back from their
Attachments folders, and mailboxes in the newer layout. The mbox files are
read back with Python's mailbox module."""

import mailbox
import os

from qptest import QuillpackTest, message
from test_tally import tally

UUID = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"
LF_INI = b"[Mbox]\nLineEnds=LF\n"


def plist(flags):
    return (b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n'
            b"<dict>\n\t<key>date-received</key>\n\t<integer>1</integer>\n"
            b"\t<key>flags</key>\n\t<integer>%d</integer>\n</dict>\n"
            b"</plist>\n" % flags)


def emlx(data, flags=0, pad=b""):
    return b"%d%s\n" % (len(data), pad) + data + plist(flags)


# ---- A partial message: one part of each kind, numbered as IMAP does ----

ATTACHED = {
    # section: (file name, bytes), in its Attachments folder
    "2.2": ("report.pdf", bytes(range(256)) * 40 + b"\r\n\x00end"),
    "2.4": ("notes.txt", b"caf\xc3\xa9 = latte\nFrom here  \nline\tend\t\n"
            + b"x" * 200 + b"\n"),
    "3": ("plain.txt", b"seven bit\nlines\n"),
    "4": ("blob.bin", b"\r\n\r\x00\n\xff" * 50),
    "5.2": ("inner.dat", b"inside an attached message" * 10),
    "6": ("Cafe\u0301.txt", b"the decomposed one\n"),
}
OTHER_FILES = {"6": ("other.txt", b"not this\n"), "7": ("a.txt", b"a\n")}
HOSTILE = {"7": ("b.txt", b"b\n")}


def left_out(section, kind, encoding, params=b""):
    return (b"Content-Type: " + kind + params + b"\n"
            b"Content-Transfer-Encoding: " + encoding + b"\n"
            b"Content-Description: " + section.encode() + b"\n"
            b"X-Apple-Content-Length: 123\n\n")


PARTIAL = (
    b"Date: Mon, 1 Jan 2001 10:00:00 +0000\nFrom: a@example.org\n"
    b"Subject: partial\nMIME-Version: 1.0\n"
    b'Content-Type: multipart/mixed; boundary="outer"\n\n'
    b"preamble\n--outer\nContent-Type: text/plain\n\nkept text\n"
    b'--outer\nContent-Type: multipart/mixed; boundary="inner"\n\n'
    b"--inner\nContent-Type: text/plain\n\n2.1\n--inner\n"
    + left_out("2.2", b"application/pdf", b"base64", b'; name="report.pdf"')
    + b"--inner\nContent-Type: text/plain\n\n2.3\n--inner\n"
    + left_out("2.4", b"text/plain", b"quoted-printable")
    + b"--inner--\n--outer\n"
    + left_out("3", b"text/plain", b"7bit")
    + b"--outer\n"
    + left_out("4", b"application/octet-stream", b"binary")
    + b"--outer\nContent-Type: message/rfc822\n\n"
    b"From: b@example.org\nSubject: attached\n"
    b'Content-Type: multipart/mixed; boundary="msg"\n\n'
    b"--msg\nContent-Type: text/plain\n\n5.1\n--msg\n"
    + left_out("5.2", b"application/octet-stream", b"base64")
    + b"--msg--\n--outer\n"
    + left_out("6", b"text/plain", b"8bit",
               b";\n name*0*=utf-8''Caf%C3%A9;\n name*1=.txt")
    + b"--outer\n"
    + left_out("7", b"text/plain", b"7bit", b'; name="../a.txt"')
    + b"--outer\n"
    + left_out("8", b"text/plain", b"7bit")
    + b"--outer--\nepilogue\n")


def write_partial(write, messages_folder):
    """The partial message and its Attachments beside messages_folder."""
    path = write(os.path.join(messages_folder, "1234.partial.emlx"),
                 emlx(PARTIAL, flags=1))
    attachments = os.path.join(os.path.dirname(messages_folder),
                               "Attachments", "1234")
    for files in (ATTACHED, OTHER_FILES, HOSTILE):
        for section, (name, data) in files.items():
            write(os.path.join(attachments, section, name), data)
    write(os.path.join(attachments, "2.2", ".DS_Store"), b"x")
    return path


def parts_by_description(msg):
    return {part["Content-Description"]: part for part in msg.walk()
            if part["Content-Description"]}


# ---- A mailbox in the newer layout, with a nested mailbox ----

def write_mailbox(write):
    """INBOX.mbox with messages in three Messages folders and Work.mbox
    inside it; the subjects in the order the mailbox packs them."""
    data = os.path.join("INBOX.mbox", UUID, "Data")
    for folder, number in ((os.path.join(data, "1", "2", "Messages"), 21000),
                           (os.path.join(data, "3", "Messages"), 3000),
                           (os.path.join(data, "Messages"), 5),
                           (os.path.join(data, "Messages"), 40)):
        write(os.path.join(folder, "%d.emlx" % number),
              emlx(message("m%d" % number), flags=number % 2))
    write(os.path.join(data, "3", "Attachments", "3000", "2", "x.eml"),
          message("never a source"))
    write(os.path.join("INBOX.mbox", "Info.plist"), plist(0))
    write(os.path.join("INBOX.mbox", UUID, "Info.plist"), plist(0))
    write(os.path.join("INBOX.mbox", "Work.mbox", "Messages", "7.emlx"),
          emlx(message("work")))
    return ["m5", "m40", "m3000", "m21000"]


def read_mbox(path):
    box = mailbox.mbox(path, create=False)
    try:
        return list(box)
    finally:
        box.close()


def subjects(path):
    return [m["Subject"] for m in read_mbox(path)]


class AppleMailTest(QuillpackTest):

    def mbox(self, relpath):
        return read_mbox(os.path.join(self.out, relpath))

    def test_files_known_by_content(self):
        first, second = message("first"), message("second")
        self.write("1.emlx", emlx(first, flags=1 | 4, pad=b"      "))
        self.write("renamed.eml", emlx(second, flags=16))
        self.write("plain.eml", message("plain"))
        self.write("past-end.emlx", b"9999\n" + message("cut") + plist(0))
        run = self.run_qp(self.src, self.out, "/p")
        self.assertEqual(run.code, 2)
        self.assertIn("Unknown format of source file '%s'."
                      % os.path.join(self.src, "past-end.emlx"), run.log)
        packed = self.mbox("src.mbx")
        self.assertEqual([m["Subject"] for m in packed],
                         ["first", "plain", "second"])
        for msg, data in zip(packed, (first, message("plain"), second)):
            self.assertEqual(msg.get_payload().replace("\r\n", "\n"),
                             data.split(b"\n\n", 1)[1].decode())
            self.assertNotIn("<?xml", msg.as_string())

    def test_partial_parts_put_back(self):
        path = write_partial(self.write, "Messages")
        self.write("quillpack.ini", LF_INI, base=self.config_dir())
        run = self.run_qp(self.src, self.out, "/s", "/p")
        self.assertEqual(run.code, 2, run.log)
        lines = self.log_messages(run.log, closing=True)
        self.assertIn("Attachments 7, 8 of '%s' not found." % path, lines)
        self.assertEqual(lines[-2], tally(
            found=1, packed=1, targets=1, empty=0, system=0, own=0, failed=0,
            left=0, folders=0))
        [msg] = self.mbox(os.path.join("src", "Messages.mbx"))
        parts = parts_by_description(msg)
        for section, (name, data) in ATTACHED.items():
            with self.subTest(section=section):
                part = parts[section]
                self.assertEqual(part.get_payload(decode=True), data)
                self.assertIsNone(part["X-Apple-Content-Length"])
        self.assertEqual(parts["4"]["Content-Transfer-Encoding"], "base64")
        for section in ("7", "8"):
            self.assertEqual(parts[section]["X-Apple-Content-Length"], "123")
            self.assertEqual(parts[section].get_payload(), "")
        self.assertEqual(
            max(len(l) for l in parts["2.4"].get_payload().split("\n")), 76)
        # The text around the parts is the message's own.
        self.assertEqual([p.get_payload() for p in msg.walk()
                          if p.get_payload() in ("kept text", "2.1", "2.3",
                                                 "5.1")],
                         ["kept text", "2.1", "2.3", "5.1"])
        # Attachments folders are no sources: the one file found is the
        # message.
        self.assertEqual(sorted(os.listdir(os.path.join(self.out, "src"))),
                         ["Messages.mbx"])

    def test_mailbox_in_the_newer_layout(self):
        order = write_mailbox(self.write)
        run = self.run_qp(self.src, self.out, "/s", "/p")
        self.assertEqual(run.code, 0, run.log)
        self.assertEqual(subjects(os.path.join(self.out, "src", "INBOX.mbx")),
                         order)
        self.assertEqual(
            subjects(os.path.join(self.out, "src", "INBOX", "Work.mbx")),
            ["work"])
        self.assertEqual(self.log_messages(run.log, closing=True)[-2],
                         tally(found=7, packed=5, targets=2, empty=0,
                               system=2, own=0, failed=0, left=0, folders=0))
        # The mailbox itself, without /s: its own messages, named after it.
        run = self.run_qp(os.path.join(self.src, "INBOX.mbox"),
                          os.path.join(self.dir, "alone"))
        self.assertEqual(run.code, 0, run.log)
        self.assertEqual(sorted(os.listdir(os.path.join(self.dir, "alone"))),
                         ["INBOX.mbx"])
        self.assertEqual(
            subjects(os.path.join(self.dir, "alone", "INBOX.mbx")), order)

    def config_dir(self):
        return os.path.join(self.dir, "config", "quillpack")
