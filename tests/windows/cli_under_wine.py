#!/usr/bin/python3
"""The Windows command line, run under Wine, against a loopback aiosmtpd.

Each case runs mailsortello-cli.exe and, where the Linux build is given,
the Linux program with the same arguments against the same server: both
must print the same log and end with the same status.

Usage: cli_under_wine.py --exe mailsortello-cli.exe [--linux-cli PATH]
The Wine prefix is the one WINEPREFIX names (created on first use).
"""

import argparse
import email
import email.policy
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "support", "aiosmtpd_server.py")
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
KEY = r"HKCU\Software\TelVara\Base\TFormMailSortello"
ARGS = None


def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    env["MS_PW"] = "segreta"
    # No display is needed for a console program, and none is wanted.
    env.pop("DISPLAY", None)
    return env


def run(argv, env=None, timeout=120):
    return subprocess.run(argv, capture_output=True, env=env or wine_env(), timeout=timeout)


def run_windows(args):
    return run([WINE, ARGS.exe] + args)


def run_linux(args):
    env = wine_env()
    env["XDG_CONFIG_HOME"] = tempfile.mkdtemp()  # no stored fields of this machine
    return run([ARGS.linux_cli] + args, env=env)


def wine_reg(*args):
    subprocess.run([WINE, "reg"] + list(args), capture_output=True, env=wine_env(), timeout=120, check=True)


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """aiosmtpd on a free loopback port, storing what it receives."""

    def __init__(self, *options):
        self.store = tempfile.mkdtemp()
        self.proc = subprocess.Popen(["/usr/bin/python3", SERVER, "--store", self.store] + list(options),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("PORT "):
            raise RuntimeError("the test server did not start: " + line)
        self.port = int(line.split()[1])

    def messages(self):
        names = sorted(n for n in os.listdir(self.store) if n.endswith(".eml"))
        out = []
        for n in names:
            with open(os.path.join(self.store, n), "rb") as f:
                out.append(email.message_from_bytes(f.read(), policy=email.policy.default))
        return out

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)
        self.proc.stdout.close()
        shutil.rmtree(self.store, ignore_errors=True)


def lines(result):
    return result.stdout.decode("cp1252").replace("\r\n", "\n").splitlines()


def without_paths(log):
    return [re.sub(r'^(Allegato ").*(dati\.bin")$', r"\1\2", l) for l in log]


class CliUnderWine(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def both(self, args, status):
        """Runs both builds; checks the status and that the logs agree."""
        win = run_windows(args)
        self.assertEqual(win.returncode, status, (win.stdout, win.stderr))
        if ARGS.linux_cli:
            linux = run_linux(args)
            self.assertEqual(linux.returncode, status, (linux.stdout, linux.stderr))
            self.assertEqual(lines(win), lines(linux))
        return win

    def smtp(self, command, port, auth="none"):
        return [command, "--no-stored", "--tab", "smtp", "--host", "127.0.0.1", "--port", str(port), "--auth", auth]

    def message(self):
        return ["--from", "Tecnico <tecnico@sortello.test>", "--to", "Ufficio <ufficio@sortello.test>",
                "--subject", "Prova caff\xe8", "--body", "Riga uno\nRiga \xe8 due"]

    def test_connection_test_and_a_refused_port(self):
        server = Server()
        try:
            out = self.both(self.smtp("connect", server.port), 0)
            self.assertIn("Connesso.", lines(out))
        finally:
            server.close()
        refused = self.both(self.smtp("connect", closed_port()), 2)
        text = "\n".join(lines(refused))
        self.assertIn("Socket Error # 10061", text)
        self.assertIn("Connection refused.", text)

    def test_sends_with_each_login_and_attachments_arrive_byte_for_byte(self):
        payload = bytes(range(256)) + b"\n\r\n\x1a\r" * 1000
        attachment = os.path.join(self.work, "dati.bin")
        with open(attachment, "wb") as f:
            f.write(payload)
        for auth in ("default", "sasl"):
            with self.subTest(auth=auth):
                server = Server("--user", "tecnico", "--password", "segreta")
                try:
                    # SASL is the encrypted tab's, here without TLS.
                    tab = ["--tab", "smtp-tls", "--use-tls", "none", "--host", "127.0.0.1", "--port",
                           str(server.port), "--auth", auth] if auth == "sasl" else []
                    args = self.smtp("send", server.port, auth) + tab + self.message() + [
                        "--user", "tecnico", "--password-env", "MS_PW", "--attach", attachment]
                    out = run_windows(args)
                    self.assertEqual(out.returncode, 0, (out.stdout, out.stderr))
                    self.assertIn("> Inviato.", lines(out))
                    msg = server.messages()[0]
                    self.assertEqual(str(msg["Subject"]), "Prova caff\xe8")
                    parts = [p for p in msg.iter_attachments()]
                    self.assertEqual(len(parts), 1)
                    self.assertEqual(parts[0].get_filename(), "dati.bin")
                    self.assertEqual(parts[0].get_content(), payload)
                    body = msg.get_body(("plain",)).get_content()
                    self.assertEqual(body.replace("\r\n", "\n").rstrip("\n"), "Riga uno\nRiga \xe8 due")
                    if ARGS.linux_cli:
                        # The same log as Linux, but for the file name's form.
                        linux = run_linux(args)
                        self.assertEqual(linux.returncode, 0, (linux.stdout, linux.stderr))
                        self.assertEqual(without_paths(lines(out)), without_paths(lines(linux)))
                finally:
                    server.close()

    def test_same_log_and_status_as_linux_for_a_login_refused(self):
        server = Server("--user", "tecnico", "--password", "altra")
        try:
            self.both(self.smtp("send", server.port, "default") + self.message() +
                      ["--user", "tecnico", "--password-env", "MS_PW"], 5)
            self.assertEqual(server.messages(), [])
        finally:
            server.close()

    def test_tls_without_the_openssl_dlls_says_so(self):
        cert, key = os.path.join(self.work, "cert.pem"), os.path.join(self.work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                        "-days", "2", "-keyout", key, "-out", cert], capture_output=True, check=True)
        # After STARTTLS the missing library is a failed handshake, as any other.
        cases = [("implicit", "connect", ["--implicit-tls"], "Could not load SSL library."),
                 ("require", "send", ["--starttls"], "SSL is not available on this server.")]
        for mode, command, options, text in cases:
            with self.subTest(mode=mode):
                server = Server("--cert", cert, "--key", key, *options)
                try:
                    args = [command, "--no-stored", "--tab", "smtp-tls", "--host", "127.0.0.1", "--port",
                            str(server.port), "--use-tls", mode, "--auth", "none"]
                    out = run_windows(args + (self.message() if command == "send" else []))
                    self.assertEqual(out.returncode, 4, (out.stdout, out.stderr))
                    self.assertIn(text, lines(out))
                    self.assertEqual(server.messages(), [])
                finally:
                    server.close()

    def test_fields_stored_in_the_registry_are_used(self):
        server = Server()
        try:
            wine_reg("add", KEY, "/v", "edtHost_smtp_Text", "/d", "127.0.0.1", "/f")
            wine_reg("add", KEY, "/v", "edtPort_smtp_Text", "/d", str(server.port), "/f")
            wine_reg("add", KEY, "/v", "PageControl_ActivePage", "/d", "TabSheetSMTP", "/f")
            out = run_windows(["connect", "--auth", "none"])
            self.assertEqual(out.returncode, 0, (out.stdout, out.stderr))
            self.assertIn("Connesso.", lines(out))
        finally:
            subprocess.run([WINE, "reg", "delete", KEY, "/f"], capture_output=True, env=wine_env(), timeout=120)
            server.close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--linux-cli", default="")
    ARGS, rest = parser.parse_known_args()
    if ARGS.linux_cli and not os.access(ARGS.linux_cli, os.X_OK):
        ARGS.linux_cli = ""
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
