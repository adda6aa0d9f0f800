"""What a standard reader makes of one message.

Reads the message (raw bytes, as sent after DATA or as stored) on stdin,
parses it with Python's email package (policy default) and prints one fact
per line; texts are given as the hexadecimal of their UTF-8 form, so that
any character survives the trip:

  maxline N                      longest line in octets, without its CR LF
  defects N NAME ...             defects of the message and all its parts
  header NAME HEX                every header field in order, decoded
  part TYPE CHARSET NAME BODY    every leaf part in order: content type,
                                 charset parameter ("-" when none), file
                                 name in HEX ("-" when none), content in
                                 HEX: text decoded to Unicode, anything
                                 else as its decoded bytes

Run as  python3 email_check.py < message.eml
From the tests: tests/support/EmailCheck.h (through PythonRunner).
"""
import email
import email.policy
import sys


def hexof(text):
    return text.encode('utf-8', 'surrogateescape').hex()


raw = sys.stdin.buffer.read()
lines = raw.replace(b'\r\n', b'\n').split(b'\n')
print('maxline', max((len(line) for line in lines), default=0))

msg = email.message_from_bytes(raw, policy=email.policy.default)
defects = []
for part in msg.walk():
    defects += part.defects
    for value in part.values():
        defects += getattr(value, 'defects', ())
print('defects', len(defects), ' '.join(type(d).__name__ for d in defects))

for name, value in msg.items():
    print('header', name, hexof(str(value)))

for part in msg.walk():
    if part.is_multipart():
        continue
    name = part.get_filename()
    if part.get_content_maintype() == 'text':
        content = hexof(part.get_content())
    else:
        content = (part.get_payload(decode=True) or b'').hex()
    print('part', part.get_content_type(), part.get_content_charset() or '-',
          hexof(name) if name is not None else '-', content)
