#!/usr/bin/python3
# A STARTTLS front for the loopback smtp-sink, which has no TLS of its own:
# it answers the greeting, EHLO and STARTTLS itself, then relays the
# decrypted session to the sink (whose own greeting it swallows), so the
# client's EHLO after the handshake and everything else reach the sink.
#   starttls_front.py LISTEN_PORT SINK_PORT CERT KEY
# One thread per connection; each relays with one select loop, because an
# OpenSSL session must not be read and written from two threads at once.
import select
import socket
import ssl
import sys
import threading

CHUNK = 256 * 1024


def read_line(sock):
    line = b""
    while not line.endswith(b"\n"):
        byte = sock.recv(1)
        if not byte:
            return None
        line += byte
    return line


def plain_phase(client):
    """Talks until STARTTLS; False when the client left before it."""
    client.sendall(b"220 sortello.test ESMTP STARTTLS front\r\n")
    while True:
        line = read_line(client)
        if line is None:
            return False
        verb = line.strip().split(b" ")[0].upper()
        if verb == b"EHLO":
            client.sendall(b"250-sortello.test\r\n250-PIPELINING\r\n250-8BITMIME\r\n250 STARTTLS\r\n")
        elif verb == b"HELO":
            client.sendall(b"250 sortello.test\r\n")
        elif verb == b"STARTTLS":
            client.sendall(b"220 2.0.0 Ready to start TLS\r\n")
            return True
        elif verb == b"QUIT":
            client.sendall(b"221 2.0.0 Bye\r\n")
            return False
        elif verb in (b"NOOP", b"RSET"):
            client.sendall(b"250 2.0.0 Ok\r\n")
        else:
            client.sendall(b"530 5.7.0 Must issue a STARTTLS command first\r\n")


def relay(tls, sink):
    # One buffer for the whole session: a fresh one per read would cost
    # more than the relaying.
    buffer = bytearray(CHUNK)
    view = memoryview(buffer)
    while True:
        if tls.pending() == 0:
            readable, _, _ = select.select([tls, sink], [], [])
        else:
            readable = [tls]
        for source, target in ((tls, sink), (sink, tls)):
            if source not in readable:
                continue
            count = source.recv_into(buffer)
            if count == 0:
                return
            target.sendall(view[:count])


def serve(client, sink_port, context):
    with client:
        if not plain_phase(client):
            return
        try:
            tls = context.wrap_socket(client, server_side=True)
        except (ssl.SSLError, OSError):
            return
        with tls, socket.create_connection(("127.0.0.1", sink_port)) as sink:
            if read_line(sink) is None:
                return
            try:
                relay(tls, sink)
            except (ssl.SSLError, OSError):
                pass


def main():
    listen_port, sink_port, cert, key = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server = socket.create_server(("127.0.0.1", listen_port), backlog=64)
    while True:
        client, _ = server.accept()
        threading.Thread(target=serve, args=(client, sink_port, context), daemon=True).start()


if __name__ == "__main__":
    main()
