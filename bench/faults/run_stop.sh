#!/usr/bin/env bash
# What a stop (SIGTERM) costs and keeps: the seconds it takes with a
# connection open that sent nothing, with one kept open after an answer, and
# with one that sent half a request (cut at StopTimeout); then 50 clients
# loading the property list when SIGTERM comes: the answers by status among
# the requests the server had accepted (503 should be none), the requests
# dropped without an answer, and the seconds to exit.
#   bench/faults/run_stop.sh [build-dir]   (ROUNDS, default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
rounds=${ROUNDS:-3}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo

qvweb_scratch "$build"
"$build/qvdemo" --db "$work/demo.fdb" --properties 200 --quiet

start_server() {  # extra [APP] lines
  port=$(free_port)
  scratch_ini "$port" "$1"
  (cd "$work" && exec ./qvweb) > "$work/stdout.log" 2> "$work/stderr.log" &
  server_pid=$!
  wait_port "$port" "$server_pid"
}

# Seconds from SIGTERM to the exit, with one connection held as KIND says.
held_stop() {  # kind
  python3 - "$port" "$server_pid" "$1" <<'PY'
import os, socket, sys, time
port, pid, kind = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
s = socket.create_connection(("127.0.0.1", port))
if kind == "kept":
    s.sendall(b"GET /image/qv_logo_jpg.jpg HTTP/1.1\r\nHost: h\r\n\r\n")
    data = b""
    while b"\r\n\r\n" not in data: data += s.recv(65536)
    head, body = data.split(b"\r\n\r\n", 1)
    length = int([l.split(b":")[1] for l in head.split(b"\r\n") if l.lower().startswith(b"content-length")][0])
    while len(body) < length: body += s.recv(65536)
elif kind == "half":
    s.sendall(b"GET /image/qv_logo_jpg.jpg HTTP/1.1\r\nHost: h")
time.sleep(0.2)
start = time.monotonic()
os.kill(pid, 15)
def ended():
    # A zombie has ended too: its parent, the shell, reaps it later.
    try:
        with open(f"/proc/{pid}/stat") as f: return f.read().split()[2] == "Z"
    except FileNotFoundError:
        return True
while not ended(): time.sleep(0.005)
print(f"{time.monotonic() - start:.3f}")
PY
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
}

echo "SIGTERM with one connection held (KeepAlive=1; StopTimeout 10 s, 3 s for half a request)"
printf '%-6s %-28s %10s\n' round "connection held" seconds
for round in $(seq "$rounds"); do
  for kind in empty kept half; do
    timeout=10; [ "$kind" = half ] && timeout=3
    start_server "KeepAlive=1
StopTimeout=$timeout"
    case $kind in
      empty) label="sent nothing";;
      kept) label="kept open after an answer";;
      half) label="half a request";;
    esac
    printf '%-6s %-28s %10s\n' "$round" "$label" "$(held_stop "$kind")"
  done
done

echo
echo "SIGTERM under 50 clients loading /list (logged on, a connection per request), 2 s into the load"
printf '%-6s %8s %8s %8s %8s %9s %9s\n' round answers 200 503 other dropped "exit s"
for round in $(seq "$rounds"); do
  start_server "StopTimeout=10"
  cookie=$(logon_cookie "http://127.0.0.1:$port")
  python3 - "$port" "$server_pid" "$cookie" "$round" <<'PY'
import os, socket, sys, threading, time
port, pid, cookie, round_ = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
request = (f"GET /list HTTP/1.1\r\nHost: h\r\nCookie: IDHTTPSESSIONID={cookie}\r\n"
           "Connection: close\r\n\r\n").encode()
counts = {"200": 0, "503": 0, "other": 0, "dropped": 0}
lock = threading.Lock()
stop = threading.Event()
def client():
    while not stop.is_set():
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=30)
        except OSError:
            time.sleep(0.01)   # refused: not accepted, not counted
            continue
        try:
            s.sendall(request)
            data = b""
            while True:
                chunk = s.recv(65536)
                if not chunk: break
                data += chunk
        except OSError:
            data = b""
        finally:
            s.close()
        status = data[9:12].decode() if data.startswith(b"HTTP/1.1 ") else ""
        key = status if status in ("200", "503") else ("dropped" if not data else "other")
        with lock:
            counts[key] += 1
threads = [threading.Thread(target=client) for _ in range(50)]
for t in threads: t.start()
time.sleep(2)
start = time.monotonic()
os.kill(pid, 15)
def ended():
    # A zombie has ended too: its parent, the shell, reaps it later.
    try:
        with open(f"/proc/{pid}/stat") as f: return f.read().split()[2] == "Z"
    except FileNotFoundError:
        return True
while not ended(): time.sleep(0.005)
took = time.monotonic() - start
stop.set()
for t in threads: t.join()
answers = counts["200"] + counts["503"] + counts["other"]
print(f"{round_:<6} {answers:>8} {counts['200']:>8} {counts['503']:>8} {counts['other']:>8} "
      f"{counts['dropped']:>9} {took:>9.3f}")
PY
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
done
