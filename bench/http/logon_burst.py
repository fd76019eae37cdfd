#!/usr/bin/env python3
"""Log-on throttle under attack, against a qvweb on 127.0.0.1:PORT whose
database has the user demo/demo.

  logon_burst.py PORT burst N       N simultaneous wrong log-ons for one name
  logon_burst.py PORT own-account N N rounds of four wrong guesses (each for
                                    a name of its own) and one log-on with
                                    an account of one's own

Prints how many attempts reached the database (answered 200: the check ran)
and how many were refused (429), and any other answers.
"""
import socket
import sys
import threading
from collections import Counter


def logon(port, name, password, ready=None):
    body = f"uName={name}&uPass={password}".encode()
    request = (b"POST /DOLOGIN HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
               b"Content-Type: application/x-www-form-urlencoded\r\n"
               b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
    s = socket.create_connection(("127.0.0.1", port), timeout=60)
    try:
        if ready:
            ready.wait()  # everyone connected: all send at once
        s.sendall(request)
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    finally:
        s.close()
    line = answer.split(b"\r\n", 1)[0].decode(errors="replace")
    return int(line.split()[1]) if line.startswith("HTTP/") else 0


def burst(port, n):
    ready = threading.Barrier(n)
    statuses = [0] * n

    def attempt(i):
        statuses[i] = logon(port, "demo", f"wrong{i}", ready)

    threads = [threading.Thread(target=attempt, args=(i,)) for i in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return Counter(statuses)


def own_account(port, rounds):
    statuses = Counter()
    for r in range(rounds):
        for g in range(4):
            statuses[logon(port, f"victim{r}x{g}", "guess")] += 1
        logon(port, "demo", "demo")  # the attacker's own account
    return statuses


def main():
    port, scenario, n = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    statuses = burst(port, n) if scenario == "burst" else own_account(port, n)
    others = {k: v for k, v in statuses.items() if k not in (200, 429)}
    print(f"reached the database {statuses[200]}, refused {statuses[429]}"
          + (f", other answers {dict(others)}" if others else ""))


main()
