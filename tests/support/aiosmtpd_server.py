#!/usr/bin/python3
"""A real SMTP server for the tests, on Debian's aiosmtpd.

Listens on 127.0.0.1 at a free port and prints "PORT <n>" on standard output
once it accepts connections. Ends when standard input is closed (the test
process went away) or on SIGTERM.

Options:
  --cert FILE --key FILE   certificate and key for TLS (PEM)
  --starttls               offer STARTTLS (needs --cert/--key)
  --implicit-tls           TLS from the first byte (needs --cert/--key)
  --user NAME --password P the one account AUTH accepts (LOGIN, CRAM-MD5)
  --auth-require-tls       offer AUTH only once TLS is on
  --pipelining             announce PIPELINING in the EHLO reply
  --no-8bitmime            leave 8BITMIME out of the EHLO reply
  --refuse-rcpt ADDRESS    answer RCPT TO for ADDRESS with 550
  --store DIR              write each message to DIR/<n>.eml and its
                           envelope ("MAIL FROM" line, then one line per
                           recipient) to DIR/<n>.env, and the MAIL FROM
                           parameters (one a line) to DIR/<n>.opt
"""

import argparse
import asyncio
import hmac
import os
import secrets
import signal
import ssl
import sys
import threading

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword, MISSING


class Handler:
    def __init__(self, args):
        self.args = args
        self.count = 0

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.args.pipelining:
            responses.insert(1, "250-PIPELINING")
        if self.args.no_8bitmime:
            responses = [r for r in responses if r[4:].upper() != "8BITMIME"]
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.args.refuse_rcpt and address.lower() == self.args.refuse_rcpt.lower():
            return "550 5.1.1 <{}>: Recipient address rejected".format(address)
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.store:
            self.count += 1
            base = os.path.join(self.args.store, str(self.count))
            with open(base + ".eml.part", "wb") as f:
                f.write(envelope.original_content)
            with open(base + ".env", "w") as f:
                f.write(envelope.mail_from + "\n")
                for rcpt in envelope.rcpt_tos:
                    f.write(rcpt + "\n")
            with open(base + ".opt", "w") as f:
                for option in envelope.mail_options:
                    f.write(option + "\n")
            os.replace(base + ".eml.part", base + ".eml")
        return "250 2.0.0 Ok: queued"

    async def auth_CRAM__MD5(self, server, args):
        challenge = "<{}.{}@{}>".format(secrets.randbelow(10**9), os.getpid(), "sortello.test").encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=True)
        user, _, digest = response.partition(b" ")
        expected = hmac.new(self.args.password.encode(), challenge, "md5").hexdigest().encode()
        ok = user == self.args.user.encode() and hmac.compare_digest(digest, expected)
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user, b""))


def make_authenticator(args):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == args.user.encode()
              and auth_data.password == args.password.encode())
        return AuthResult(success=ok, handled=False)
    return authenticate


def tls_context(args):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    return context


def exit_when_stdin_closes():
    def wait():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)
    threading.Thread(target=wait, daemon=True).start()


async def main(args):
    handler = Handler(args)
    context = tls_context(args) if (args.starttls or args.implicit_tls) else None

    def factory():
        return SMTP(handler,
                    hostname="sortello.test",
                    tls_context=context if args.starttls else None,
                    authenticator=make_authenticator(args),
                    auth_require_tls=args.auth_require_tls,
                    timeout=30)

    server = await asyncio.get_running_loop().create_server(
        factory, "127.0.0.1", 0, ssl=context if args.implicit_tls else None)
    port = server.sockets[0].getsockname()[1]
    sys.stdout.write("PORT {}\n".format(port))
    sys.stdout.flush()
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--auth-require-tls", action="store_true")
    parser.add_argument("--pipelining", action="store_true")
    parser.add_argument("--no-8bitmime", action="store_true")
    parser.add_argument("--refuse-rcpt", default="")
    parser.add_argument("--store")
    arguments = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    exit_when_stdin_closes()
    asyncio.run(main(arguments))
