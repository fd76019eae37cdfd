#!/usr/bin/env bash
# The property list's CSV through the real server: `curl -H 'Accept: text/csv'`
# of every property of the large demo database (100,000 properties; made once
# under BUILD/bench/), the server's resident memory (VmRSS) sampled every
# 20 ms while the answer downloads. Prints per run the rows (read back by
# Python's csv module), bytes, seconds, and the server's RSS before, highest
# during and after. The first run warms the database cache.
# RATE (bytes a second, e.g. 1000000) makes the client a slow one (Python,
# a 16 KiB receive buffer).
#   bench/pages/run_csv_download.sh [build-dir]   (RUNS, default 3; RATE, default none)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
. "$root/bench/pages/pages_db.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
runs=${RUNS:-3}

build_targets "$build" qvweb qvdemo
make_pages_db "$build" 6

qvweb_scratch "$build"
port=$(free_port)
{ demo_ini "$port" "$work/htdocs" "$pages_db"; printf '[LOG]\nAccessLog=off\n'; } > "$work/qvweb.ini"
start_qvweb "$port"
base="http://127.0.0.1:$port"
cookie=$(logon_cookie "$base")
[ -n "$cookie" ] || { echo "log-on failed: no session cookie" >&2; exit 1; }

rss() { awk '/^VmRSS:/ {print $2}' "/proc/$server_pid/status"; }

printf '%-4s %8s %10s %8s %12s %12s %12s\n' run rows bytes seconds rss_before rss_peak rss_after
for run in $(seq "$runs"); do
  before=$(rss)
  peak=$before
  if [ -z "${RATE:-}" ]; then
    curl -s -H 'Accept: text/csv' -H "Cookie: IDHTTPSESSIONID=$cookie" \
      -o "$work/properties.csv" -w '%{time_total}\n' "$base/list" > "$work/time" &
  else
    # A slow client: a small receive buffer read at RATE bytes a second.
    python3 - "$port" "$cookie" "$RATE" "$work/properties.csv" > "$work/time" <<'PY' &
import socket, sys, time
port, cookie, rate, out = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), sys.argv[4]
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
s.connect(("127.0.0.1", port))
s.sendall(("GET /list HTTP/1.1\r\nHost: h\r\nAccept: text/csv\r\n"
           "Cookie: IDHTTPSESSIONID=%s\r\n\r\n" % cookie).encode())
start, data = time.monotonic(), bytearray()
while True:
    piece = s.recv(16384)
    if not piece:
        break
    data += piece
    time.sleep(len(piece) / rate)
open(out, "wb").write(data[data.index(b"\r\n\r\n") + 4:])
print("%.3f" % (time.monotonic() - start))
PY
  fi
  curl_pid=$!
  while kill -0 "$curl_pid" 2>/dev/null; do
    now=$(rss)
    [ "$now" -le "$peak" ] || peak=$now
    sleep 0.02
  done
  wait "$curl_pid"
  after=$(rss)
  rows=$(python3 -c 'import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8", errors="strict") as f:
    print(sum(1 for _ in csv.reader(f, strict=True)) - 1)' "$work/properties.csv")
  bytes=$(stat -c %s "$work/properties.csv")
  printf '%-4s %8s %10s %8s %9s KiB %9s KiB %9s KiB\n' "$run" "$rows" "$bytes" "$(cat "$work/time")" \
    "$before" "$peak" "$after"
done
