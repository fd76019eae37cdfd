# The two body attacks of run_body_attacks.sh, against a server on 127.0.0.1.
#
#   held PORT PID CONNECTIONS ADDRESSES HOLD_SECONDS
#     CONNECTIONS connections, spread over ADDRESSES loopback addresses
#     (127.0.0.2 on), each sending a POST head that announces 1 MiB and then
#     1 MiB less one byte of it, and waiting, after one whole 1 MiB body was
#     answered. Prints the server's resident memory before, at its peak, while
#     the bodies are held, and after the connections close; and what the
#     connections got.
#   chunks PORT EXTENSION LIMIT
#     One POST in chunks of one byte, each chunk line carrying an extension of
#     EXTENSION bytes. Prints the bytes sent before the server answered (or
#     closed), the answer's status line and the time; gives up after LIMIT bytes.
#   chunks-for PORT EXTENSION LIMIT SECONDS
#     The same again and again, one after the other, for SECONDS.
import selectors
import socket
import sys
import time

MIB = 1 << 20


def resident_mb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) / 1024
    return 0.0


def connect(port, source):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # no port held after the run
    s.bind((source, 0))
    s.connect(("127.0.0.1", port))
    s.setblocking(False)
    return s


def status_line(data):
    return data.split(b"\r\n", 1)[0].decode("latin-1") if data else ""


def warm_up(port):
    # One whole body of 1 MiB answered first, as a server that has run a
    # while has seen: the allocator learns from it how to place the next ones.
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"POST /image/qv_logo_jpg.jpg HTTP/1.1\r\nHost: warm\r\nConnection: close\r\n"
              b"Content-Length: %d\r\n\r\n" % MIB + b"w" * MIB)
    while s.recv(65536):
        pass
    s.close()


def held(port, pid, count, addresses, hold):
    warm_up(port)
    before = resident_mb(pid)
    head = b"POST /LIST HTTP/1.1\r\nHost: attack\r\nContent-Length: %d\r\n\r\n" % MIB
    body = b"b" * (MIB - 1)
    sel = selectors.DefaultSelector()
    conns = []
    # Visitors whose requests are on their way meanwhile, one beside every
    # tenth attacker, from another address: their heads are not whole yet
    # when the attackers go, as happens on a server in use.
    visitors = []
    for i in range(count):
        s = connect(port, f"127.0.0.{2 + i * addresses // count}")
        conns.append({"sock": s, "out": memoryview(head + body), "answer": b"", "closed": False})
        sel.register(s, selectors.EVENT_READ | selectors.EVENT_WRITE, conns[-1])
        if i % 10 == 0:
            v = connect(port, f"127.0.0.{2 + addresses}")
            v.send(b"GET /image/qv_logo_jpg.jpg HTTP/1.1\r\nHost: visitor\r\n")
            visitors.append(v)
    start = time.time()
    peak = before
    sampled = 0.0
    # Until every connection has sent all it will send, or was answered or closed.
    while sel.get_map() and time.time() - start < 120:
        for key, events in sel.select(timeout=0.1):
            c = key.data
            s = c["sock"]
            try:
                if events & selectors.EVENT_READ:
                    data = s.recv(65536)
                    if not data:
                        c["closed"] = True
                    c["answer"] += data
                if events & selectors.EVENT_WRITE and c["out"] and not c["closed"]:
                    n = s.send(c["out"][:262144])
                    c["out"] = c["out"][n:]
            except OSError:
                c["closed"] = True
            if c["closed"] or c["answer"]:
                sel.unregister(s)
            elif not c["out"]:
                sel.modify(s, selectors.EVENT_READ, c)
        if time.time() - sampled > 0.1:
            sampled = time.time()
            peak = max(peak, resident_mb(pid))
        # Whole bodies less a byte, sent: these wait now; only answers are looked for.
        if all(not c["out"] or c["answer"] or c["closed"] for c in conns):
            break
    sending = time.time() - start
    sel.close()
    waited = time.time()
    while time.time() - waited < hold:
        peak = max(peak, resident_mb(pid))
        time.sleep(0.1)
    holding = resident_mb(pid)
    answers = {}
    for c in conns:
        try:
            c["answer"] += c["sock"].recv(65536)
        except OSError:
            pass
        line = status_line(c["answer"])
        key = line or ("closed unanswered" if c["closed"] else ("waiting, body sent" if not c["out"] else "waiting, body not all sent"))
        answers[key] = answers.get(key, 0) + 1
    for c in conns:
        c["sock"].close()
    time.sleep(5)
    after = resident_mb(pid)
    for v in visitors:
        v.close()
    print(f"{count} connections from {addresses} addresses, each 1 MiB less a byte of a 1 MiB body, "
          f"sent in {sending:.1f} s, then held {hold} s ({len(visitors)} visitors' requests on their way meanwhile):")
    print(f"  resident memory: before {before:.0f} MB, peak {peak:.0f} MB, "
          f"held {holding:.0f} MB, 5 s after they closed {after:.0f} MB")
    for key in sorted(answers):
        print(f"  {answers[key]:5d} connections: {key}")


def chunks(port, extension, limit, quiet=False):
    s = connect(port, "127.0.0.2")
    s.sendall(b"POST /LIST HTTP/1.1\r\nHost: attack\r\nTransfer-Encoding: chunked\r\n\r\n")
    chunk = b"1" + (b";" + b"e" * (extension - 1) if extension > 0 else b"") + b"\r\nx\r\n"
    block = chunk * max(1, 262144 // len(chunk))
    sel = selectors.DefaultSelector()
    sel.register(s, selectors.EVENT_READ | selectors.EVENT_WRITE)
    sent = 0
    answer = b""
    closed = ""
    start = time.time()
    pending = memoryview(block)
    while sent < limit and not answer and not closed:
        for key, events in sel.select(timeout=1):
            try:
                if events & selectors.EVENT_READ:
                    data = s.recv(65536)
                    if data:
                        answer += data
                    else:
                        closed = "closed"
                if events & selectors.EVENT_WRITE and not answer and not closed:
                    n = s.send(pending)
                    sent += n
                    pending = pending[n:] or memoryview(block)
            except OSError as e:
                closed = e.strerror or "failed"
    elapsed = time.time() - start
    s.setblocking(True)
    s.settimeout(2)
    try:
        while b"\r\n" not in answer:
            data = s.recv(65536)
            if not data:
                break
            answer += data
    except OSError:
        pass
    s.close()
    what = status_line(answer) or closed or f"no answer after {limit} bytes"
    if quiet:
        return sent
    print(f"chunks of 1 byte, chunk lines with {extension}-byte extensions: {sent:,} bytes sent in "
          f"{elapsed:.2f} s, then: {what}")


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "held":
        held(int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]))
    elif mode == "chunks":
        chunks(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]))
    else:
        until = time.time() + float(sys.argv[5])
        runs = total = 0
        while time.time() < until:
            total += chunks(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), quiet=True)
            runs += 1
        print(f"{runs} chunked requests, {total:,} bytes sent")
