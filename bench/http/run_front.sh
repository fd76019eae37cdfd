#!/usr/bin/env bash
# The whole server (qvweb) on the logo path under the loads the front is made
# for, beside nginx serving the same file in the same run:
#   1. resident memory holding 1,000 idle connections;
#   2. 10,000 connections that each send a byte every 10 s (from 40 loopback
#      addresses, within the per-address cap), held while wrk fetches the
#      logo: qvweb's threads, resident memory, the logo's p99 latency;
#   3. requests per second of the logo with the visitor's session cookie, each
#      on its own connection ("Connection: close"), qvweb against nginx, and
#      the CPU each server spends per request (ratio: nginx's over qvweb's)
#      and how much of the machine stands idle meanwhile;
#   4. the same with KeepAlive=1 against nginx with keep-alive;
#   5. part 3 again with the servers on the first half of the cores and wrk on
#      the other half, so that the load generator does not compete with them.
#   bench/http/run_front.sh [build-dir]   (default build; DURATION seconds per wrk run, default 10;
#                                          ROUNDS of each comparison taken in turn, default 5, medians shown;
#                                          PARTS to run, default 12345)
# Only loopback traffic. Needs an open-files hard limit of at least 20,000.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-10}
slow=${SLOW_CONNECTIONS:-10000}
parts=${PARTS:-12345}

"$root/scripts/install-deps.sh" bench
ulimit -n "$(ulimit -Hn)"

build_targets "$build" qvweb

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/htdocs" "$work/qv"
cp "$root/assets/qv_logo_jpg.jpg" "$work/htdocs/"
cp "$build/qvweb" "$work/qv/qvweb"

qv_port=""; qv_pid=""
start_qv() {  # extra [APP] lines -> qv_port, qv_pid, cookie
  local attempt
  for attempt in 1 2 3 4 5; do
    # A port taken meanwhile (thousands of closed connections linger) gives another try.
    qv_port=$(free_port)
    {
      # No access log, as nginx below has none.
      printf '[LOG]\nAccessLog=off\n'
      printf '[APP]\nPort=%s\nHtDocs=%s\nLoginTimeout=10\nReadTimeout=60\n' "$qv_port" "$work/htdocs"
      for line in "$@"; do printf '%s\n' "$line"; done
      printf '[DB]\nDBName=%s\n' "$work/none.fdb"  # the logo needs no database
    } > "$work/qv/qvweb.ini"
    (cd "$work/qv" && exec ./qvweb) > "$work/qv.log" 2>&1 &
    qv_pid=$!
    wait_port "$qv_port" "$qv_pid" && curl -s -o /dev/null "http://127.0.0.1:$qv_port/image/x" && break
    stop_pid "$qv_pid"
    [ "$attempt" -lt 5 ] || { echo "qvweb did not start:" >&2; cat "$work/qv.log" >&2; exit 1; }
  done
  pids+=("$qv_pid")
  cookie=$(curl -s -D - -o "$work/logo.check" "http://127.0.0.1:$qv_port/image/qv_logo_jpg.jpg" | session_cookie)
  cmp -s "$work/logo.check" "$root/assets/qv_logo_jpg.jpg" || { echo "qvweb did not give the logo" >&2; exit 1; }
}
stop_qv() { stop_pid "$qv_pid"; }
status() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }

ng_port=$(free_port)
start_nginx() {  # keepalive_timeout
  nginx_start "$work/nginx" "$ng_port" "$1" "location = /image/qv_logo_jpg.jpg { alias $work/htdocs/qv_logo_jpg.jpg; }" \
    "keepalive_requests 1000000;
  sendfile on;"
  pids+=("$ng_pid")
}
stop_nginx() { stop_pid "$ng_pid"; }

# 1. 1,000 idle connections.
if [[ $parts == *1* ]]; then
start_qv
python3 - "$qv_port" "$qv_pid" <<'PY'
import socket, sys, time
port, pid = int(sys.argv[1]), sys.argv[2]
def status(key):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(key): return int(line.split()[1])
before = status("VmRSS:") // 1024
conns = []
for i in range(1000):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # no port held after the run
    s.bind((f"127.0.0.{2 + i // 200}", 0))
    s.connect(("127.0.0.1", port))
    conns.append(s)
time.sleep(2)
print(f"1,000 idle connections: resident memory {status('VmRSS:') / 1024:.1f} MB "
      f"(idle server {before} MB), threads {status('Threads:')}  [target < 50 MB]")
for s in conns: s.close()
PY
stop_qv
fi

# 2. Slow connections held while wrk fetches the logo.
if [[ $parts == *2* ]]; then
workers=32
start_qv
# The same wrk run without the slow connections, as the machine gives it now.
wrk -t2 -c20 -d"${duration}s" --latency -H "Cookie: IDHTTPSESSIONID=$cookie" -H "Connection: close" \
  "http://127.0.0.1:$qv_port/image/qv_logo_jpg.jpg" > "$work/base_wrk.log" 2>&1
base_p99=$(awk '$1 == "99%" {print $2}' "$work/base_wrk.log")
cat > "$work/slow.py" <<'PY'
import socket, sys, time, random
port, count, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
request = b"GET /image/qv_logo_jpg.jpg HTTP/1.1\r\nHost: slow\r\nX-Slow: " + b"s" * 4000
def connect(i):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # no port held after the run
    s.bind((f"127.0.0.{2 + i // 250}", 0))
    s.connect(("127.0.0.1", port))
    s.setblocking(False)
    return s
conns = [connect(i) for i in range(count)]
sent = [0] * count
print(f"{count} slow connections open", flush=True)
start = time.time()
cut = 0
# Each connection sends one byte every 10 s, spread over the 10 s.
while time.time() - start < seconds:
    for i in range(count):
        if time.time() - start >= seconds: break
        try:
            conns[i].send(request[sent[i] % len(request):][:1])
            sent[i] += 1
        except OSError:
            cut += 1
            conns[i].close()
            conns[i] = connect(i)
            sent[i] = 0
        time.sleep(10.0 / count)
print(f"slow connections: {cut} cut by the server during the run", flush=True)
PY
python3 "$work/slow.py" "$qv_port" "$slow" $((duration + 25)) > "$work/slow.log" 2>&1 &
slow_pid=$!; pids+=("$slow_pid")
for _ in $(seq 600); do grep -q "slow connections open" "$work/slow.log" && break; sleep 0.1; done
sleep 3
wrk -t2 -c20 -d"${duration}s" --latency -H "Cookie: IDHTTPSESSIONID=$cookie" -H "Connection: close" \
  "http://127.0.0.1:$qv_port/image/qv_logo_jpg.jpg" > "$work/slow_wrk.log" 2>&1
threads=$(status "$qv_pid" Threads); rss=$(status "$qv_pid" VmRSS)
p99=$(awk '$1 == "99%" {print $2}' "$work/slow_wrk.log")
rate=$(awk '/Requests\/sec/ {print $2}' "$work/slow_wrk.log")
echo "$slow slow connections + wrk -t2 -c20 -d${duration}s --latency -H 'Connection: close' on the logo:"
echo "  threads $threads [target <= $((workers + 8))], resident memory $((rss / 1024)) MB [target < 200 MB]," \
     "logo p99 $p99 [target < 20ms] (without them $base_p99), $rate requests/s"
grep -E 'Socket errors|Non-2xx' "$work/slow_wrk.log" || true
kill "$slow_pid" 2>/dev/null || true; wait "$slow_pid" 2>/dev/null || true
stop_qv
fi

# 3 and 4. Requests per second, qvweb and nginx in turn.
# The machine's idle and total CPU time so far, in ticks.
idle_total() { awk '/^cpu / {t = 0; for (i = 2; i <= NF; i++) t += $i; print $5 + $6, t}' /proc/stat; }
run() {  # name url "pids" extra-wrk-args... -> requests/s, the servers' CPU µs per request, the machine's idle %
  local name=$1 url=$2 pids=$3; shift 3
  local before after idle0 total0 idle1 total1
  before=$(cpu_ticks $pids)
  read -r idle0 total0 < <(idle_total)
  $client wrk -t2 -c50 -d"${duration}s" "$@" -H "Cookie: IDHTTPSESSIONID=$cookie" "$url" > "$work/$name.wrk" 2>&1
  read -r idle1 total1 < <(idle_total)
  after=$(cpu_ticks $pids)
  grep -E "Socket errors|Non-2xx" "$work/$name.wrk" | sed "s/^/$name: /" >&2 || true
  awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v idle=$((idle1 - idle0)) -v total=$((total1 - total0)) \
    '/requests in/ {n = $1} /Requests\/sec/ {r = $2} END {printf "%s %.1f %.1f\n", r, t * 1e6 / hz / n, 100 * idle / total}' "$work/$name.wrk"
}
ratio() { python3 -c "print(f'{$1/$2:.2f}')"; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
rounds=${ROUNDS:-5}
client=""  # the command wrk runs under
logo=/image/qv_logo_jpg.jpg
compare() {  # label wrk-args... : rounds taken in turn, medians
  local label=$1; shift
  local qv=() ng=() qc=() nc=() qi=() ni=() i r c d
  local workers; workers=$(pgrep -P "$ng_pid" | tr '\n' ' ')
  for i in $(seq "$rounds"); do
    read -r r c d < <(run "qv_$i" "http://127.0.0.1:$qv_port$logo" "$qv_pid" "$@"); qv+=("$r"); qc+=("$c"); qi+=("$d")
    read -r r c d < <(run "ng_$i" "http://127.0.0.1:$ng_port$logo" "$workers" "$@"); ng+=("$r"); nc+=("$c"); ni+=("$d")
  done
  local q n
  q=$(median "${qv[@]}"); n=$(median "${ng[@]}")
  printf '%-44s %12s %12s %7s   (rounds: qvweb %s; nginx %s)\n' "$label" "$q" "$n" "$(ratio "$q" "$n")" "${qv[*]}" "${ng[*]}"
  printf '%-44s %12s %12s %7s\n' "  server CPU per request, µs" "$(median "${qc[@]}")" "$(median "${nc[@]}")" \
    "$(ratio "$(median "${nc[@]}")" "$(median "${qc[@]}")")"
  # Idle CPU while a server is loaded is throughput it leaves on the table.
  printf '%-44s %12s %12s\n' "  machine idle while serving, %" "$(median "${qi[@]}")" "$(median "${ni[@]}")"
}
printf '%-44s %12s %12s %7s\n' "wrk -t2 -c50 -d${duration}s, logo with the session cookie" qvweb nginx ratio
if [[ $parts == *3* ]]; then
start_qv
start_nginx 0
compare '"Connection: close" [target >= 1.00]' -H "Connection: close"
stop_nginx
stop_qv
fi
if [[ $parts == *4* ]]; then
start_qv "KeepAlive=1"
start_nginx 75
compare 'keep-alive (KeepAlive=1) [target >= 1.00]'
stop_nginx
stop_qv
fi
if [[ $parts == *5* ]]; then
cores=$(nproc)
if [ "$cores" -ge 2 ]; then
  servers=0
  [ "$cores" -lt 4 ] || servers="0-$((cores / 2 - 1))"
  client="taskset -c $((cores / 2))-$((cores - 1))"
  start_qv
  start_nginx 0
  # Threads started later inherit the set of cores.
  taskset -apc "$servers" "$qv_pid" >/dev/null
  for p in $(pgrep -P "$ng_pid"); do taskset -pc "$servers" "$p" >/dev/null; done
  compare "\"Connection: close\", servers on cores $servers" -H "Connection: close"
  client=""
  stop_nginx
  stop_qv
fi
fi
