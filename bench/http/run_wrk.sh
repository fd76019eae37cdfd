#!/usr/bin/env bash
# The resident memory of the engine (null service) holding 1,000 idle
# connections; then requests per second of the engine and of nginx serving the
# same bytes, in turn, each request on its own connection, with the engine's
# default settings and with deferred accept.
#   bench/http/run_wrk.sh [build-dir]   (default build; DURATION seconds per run, default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=${1:-$root/build}
duration=${DURATION:-10}

"$root/scripts/install-deps.sh" bench

build_targets "$build" qv_http_null_service
service=$(find "$build" -name qv_http_null_service -type f -perm -u+x | head -n 1)

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

# The same bytes for both servers: the null service's 2 KB text, and a 30 KB file.
head -c 30720 /dev/urandom > "$work/logo.jpg"
start_engine() {  # extra arguments -> sets qv_port, qv_pid
  qv_port=$(free_port)
  "$service" "$qv_port" "$work/logo.jpg" "$@" > "$work/qv.log" 2>&1 &
  qv_pid=$!; pids+=("$qv_pid")
  for _ in $(seq 50); do grep -q listening "$work/qv.log" 2>/dev/null && break; sleep 0.1; done
}
stop_engine() { stop_pid "$qv_pid"; }

# Resident memory of a fresh engine holding 1,000 idle connections.
start_engine
python3 - "$qv_port" "$qv_pid" <<'PY'
import socket, sys, time
port, pid = int(sys.argv[1]), sys.argv[2]
def status(key):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(key): return int(line.split()[1])
before = status("VmRSS:") // 1024
conns = [socket.create_connection(("127.0.0.1", port)) for _ in range(1000)]
# Wait until the engine has taken every connection on (one thread each).
for _ in range(100):
    if status("Threads:") >= 1000: break
    time.sleep(0.1)
time.sleep(1)
print(f"1000 idle connections: resident memory {status('VmRSS:') // 1024} MB "
      f"(idle engine: {before} MB), engine threads {status('Threads:')}")
for s in conns: s.close()
PY
stop_engine

# The 2 KB text of the null service, for nginx to serve too.
start_engine
python3 -c "import urllib.request,sys; open(sys.argv[2],'wb').write(urllib.request.urlopen(sys.argv[1]).read())" \
  "http://127.0.0.1:$qv_port/text" "$work/text.html"
stop_engine
ng_port=$(free_port)
nginx_start "$work/nginx" "$ng_port" 0 "location = /text { alias $work/text.html; }
    location = /file { alias $work/logo.jpg; }"
pids+=("$ng_pid")

run() {  # name url -> requests/s
  wrk -t2 -c50 -d"${duration}s" -H "Connection: close" "$2" > "$work/$1.wrk" 2>&1
  grep -E 'Socket errors|Non-2xx' "$work/$1.wrk" >&2 || true
  awk '/Requests\/sec/ {print $2}' "$work/$1.wrk"
}
echo "wrk -t2 -c50 -d${duration}s -H 'Connection: close', engine and nginx (keep-alive off) in turn"
printf '%-28s %12s %12s %7s\n' answer engine nginx ratio
for variant in default --defer-accept; do
  if [ "$variant" = default ]; then start_engine; else start_engine "$variant"; fi
  for kind in text file; do
    qv=$(run "qv_$kind" "http://127.0.0.1:$qv_port/$kind")
    ng=$(run "ng_$kind" "http://127.0.0.1:$ng_port/$kind")
    printf '%-28s %12s %12s %7s\n' "$kind ($variant)" "$qv" "$ng" "$(python3 -c "print(f'{$qv/$ng:.2f}')")"
  done
  stop_engine
done
