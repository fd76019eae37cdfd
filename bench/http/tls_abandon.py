#!/usr/bin/env python3
"""Opens TLS connections and abandons each one in the middle of its handshake.

  tls_abandon.py PORT COUNT MODE

MODE "reply": sends a ClientHello, waits for the server's first answer (which
costs the server its key exchange and signature), then resets the connection.
MODE "reset": sends a ClientHello and resets the connection at once.
Stops after COUNT connections or on SIGTERM, then prints one line:
  opened=N answered=N refused=N seconds=S
where refused counts connections the server closed without an answer.
"""
import signal
import socket
import ssl
import struct
import sys
import time


def client_hello():
    """The bytes of one ClientHello (the same for every connection: the
    server's work does not depend on it)."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    client = context.wrap_bio(incoming, outgoing, server_hostname="localhost")
    try:
        client.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


def main():
    port, count, mode = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    hello = client_hello()
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    opened = answered = refused = 0
    started = time.monotonic()
    while opened < count and not stop:
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        s.settimeout(30)
        opened += 1
        try:
            s.connect(("127.0.0.1", port))
            s.sendall(hello)
            if mode == "reply":
                if s.recv(1):
                    answered += 1
                else:
                    refused += 1
        except (ConnectionError, socket.timeout, InterruptedError):
            refused += 1
        finally:
            s.close()  # with SO_LINGER 0: a reset
    print(f"opened={opened} answered={answered} refused={refused} "
          f"seconds={time.monotonic() - started:.1f}", flush=True)


main()
