#!/usr/bin/env python3
"""The log-on throttle's cases against a real qvweb on 127.0.0.1:PORT that
trusts 127.0.0.1 as its proxy (TrustedProxies=127.0.0.1), so that each
request names its visitor's address in X-Forwarded-For; the database has the
user demo/demo.

  logon_cases.py PORT office          three clerks behind one address type five
                                      wrong passwords; then a colleague logs on
  logon_cases.py PORT stranger SECS   one address guesses demo's password every
                                      0.5 s for SECS seconds; the real user tries
                                      every 5 s from another address until in
  logon_cases.py PORT slash64 N       N wrong guesses for demo, each from another
                                      address of one IPv6 /64
"""
import socket
import sys
import threading
import time


def logon(port, client, name, password):
    """The status of one log-on by POST from client, and whether it logged on."""
    body = f"uName={name}&uPass={password}".encode()
    request = (b"POST /DOLOGIN HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
               b"X-Forwarded-For: " + client.encode() + b"\r\n"
               b"Content-Type: application/x-www-form-urlencoded\r\n"
               b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
    with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
        s.sendall(request)
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    line = answer.split(b"\r\n", 1)[0].decode(errors="replace")
    status = int(line.split()[1]) if line.startswith("HTTP/") else 0
    return status, b'href="/LOGOFF"' in answer


def office(port):
    nat = "198.51.100.7"
    for clerk, typos in (("clerk1", 2), ("clerk2", 2), ("clerk3", 1)):
        for _ in range(typos):
            logon(port, nat, clerk, "typo")
    status, logged_on = logon(port, nat, "demo", "demo")
    print(f"office: 5 wrong passwords from three clerks behind {nat}; the colleague's log-on: "
          f"{status}, {'logged on at once' if logged_on else 'NOT logged on'}")


def stranger(port, seconds):
    counts = {"checked": 0, "refused": 0}
    stop = time.monotonic() + seconds

    def guess():
        while time.monotonic() < stop:
            status, _ = logon(port, "203.0.113.66", "demo", "guess")
            counts["checked" if status == 200 else "refused"] += 1
            time.sleep(0.5)

    attacker = threading.Thread(target=guess)
    attacker.start()
    time.sleep(5)
    tries, logged_on = 0, False
    while not logged_on and time.monotonic() < stop:
        tries += 1
        _, logged_on = logon(port, "198.51.100.20", "demo", "demo")
        if not logged_on:
            time.sleep(5)
    attacker.join()
    print(f"stranger: guesses every 0.5 s for {seconds} s ({counts['checked']} checked, "
          f"{counts['refused']} refused 429); the user "
          + (f"logged on at try {tries}" if logged_on else f"NOT logged on in {tries} tries"))


def slash64(port, n):
    checked = sum(logon(port, f"2001:db8:7:7::{i:x}", "demo", "guess")[0] == 200 for i in range(1, n + 1))
    print(f"one /64: {n} wrong guesses from {n} of its addresses, {checked} checked")


def main():
    port, case = int(sys.argv[1]), sys.argv[2]
    if case == "office":
        office(port)
    elif case == "stranger":
        stranger(port, int(sys.argv[3]))
    else:
        slash64(port, int(sys.argv[3]))


main()
