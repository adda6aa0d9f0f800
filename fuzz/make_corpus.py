#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Each seed starts with the parameter bytes its target reads first (chunk
seed, flags, widths); the rest is the payload."""
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))

REG = ("Windows Registry Editor Version 5.00\r\n\r\n"
       "[HKEY_CURRENT_USER\\Software\\TelVara\\Base\\TFormMailSortello]\r\n"
       "\"edtHost_smtp_Text\"=\"smtp.example.com\"\r\n"
       "\"Top\"=dword:00000064\r\n"
       "\"Blob\"=hex:01,02,ff\r\n"
       "\"Quote\"=\"a \\\"b\\\" c\\\\d\"\r\n"
       "@=\"default\"\r\n\r\n"
       "; comment\r\n"
       "[HKEY_CURRENT_USER\\Software\\TelVara\\Base\\TFormMailSortello.memoBody_Lines]\r\n"
       "\"Count\"=dword:00000002\r\n"
       "\"Item0\"=\"Caf\xc3\xa9\"\r\n\r\n")

SEEDS = {
    "reply": [
        b"\x07220 mail.example.com ESMTP ready\r\n",
        b"\x03250-mail.example.com\r\n250-PIPELINING\r\n250-AUTH LOGIN CRAM-MD5\r\n250 8BITMIME\r\n",
        b"\x11550 5.7.1 Relaying denied\r\n421 4.4.2 Timeout\r\n",
        b"\x00334 VXNlcm5hbWU6\n235 2.7.0 Authentication successful\n",
        b"\x2a\r\n\r\n250\r\n99 short\r\n2500 no space\r\n",
    ],
    "email_address": [
        b"\x00John Doe <john@example.com>",
        b"\x00\"Doe, John\" (work) <john.doe@mail.example.com>",
        b"\x01a@b.c, \"Quoted, Name\" <q@x.y>, Group: m1@x.y, m2@x.y;, <>, (c) d@e.f",
        b"\x01Rossi Mario <mario@ex.it>; bianchi@ex.it",
        b"\x00<a@b> @c",
    ],
    "header_list": [
        b"\x03\x4eFrom: a@b.c\r\nTo: x@y.z,\r\n w@y.z\r\nSubject: =?ISO-8859-1?Q?Caf=E8?=\r\n",
        b"\x01\x10Content-Type: multipart/mixed;\r\n\tboundary=\"----=_NextPart\"\r\nX-Empty:\r\n",
        b"\x02\x4eno colon here\r\n continuation\r\nName:value\r\n",
    ],
    "header_text": [
        b"\x00\x4eHello world",
        b"\x01\x4eCaff\xe8 e cornetto, per favore",
        b"\x04\x14Subject with \"quoted, part\" and more words to fold here",
        b"\x06\x4e=?ISO-8859-1?Q?already_encoded?= text\x00nul",
        b"\x08\x0a\xe8\xe9\xe0 \xf2\xf9 \xec \x80",
    ],
    "quoted_printable": [
        b"\x05Hello, world!\r\n",
        b"\x01" + b"a" * 100 + b"\r\n.leading dot\r\ntrailing blank \r\n",
        b"\x09caf\xe8 = tea\tend\t\nlone\rcr\r\n\r\n",
        b"\x33" + b"b" * 75 + b"=" + b"\xe8" * 10,
    ],
    "base64": [
        b"\x00",
        b"\x01f",
        b"\x02fo",
        b"\x1ffoobar",
        b"\x10" + bytes(range(256)),
        b"\x00Zm9vYmFy\r\nZg==",
    ],
    "registry": [
        REG.encode("latin-1"),
        b"\xef\xbb\xbfWindows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"y\"\n",
        b"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A\\B]\r\n\"v\"=hex(2):61,00,62,00\r\n",
        b"REGEDIT4\r\n",
    ],
    "readln": [
        b"\x01\x00\x20line one\r\nline two\nthird without end",
        b"\x07\x01\x05a\r\nbb\r\ncccccccccc\r\n\r\n",
        b"\x13\x02\x40data line\r\n.\r\n..stuffed\r\n.\r\n",
        b"\x2f\x03\x02ab\n\ncd\n\n\n",
        b"\x00\x00\x7f" + b"x" * 300 + b"\r\n",
    ],
}

for target, seeds in SEEDS.items():
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for seed in seeds:
        name = hashlib.sha1(seed).hexdigest()[:16]
        with open(os.path.join(folder, name), "wb") as f:
            f.write(seed)
