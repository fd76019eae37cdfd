#!/usr/bin/env bash
# The resident memory of the engine (null service) holding 1,000 idle
# connections; then requests per second of the engine and of nginx serving the
# same bytes, in turn, each request on its own connection, with the engine's
# default settings and with deferred accept.
#   bench/http/run_wrk.sh [build-dir]   (default build; DURATION seconds per run, default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
duration=${DURATION:-10}

"$root/scripts/install-deps.sh" bench

[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target qv_http_null_service -j2 >/dev/null
service=$(find "$build" -name qv_http_null_service -type f -perm -u+x | head -n 1)

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

# The same bytes for both servers: the null service's 2 KB text, and a 30 KB file.
head -c 30720 /dev/urandom > "$work/logo.jpg"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
start_engine() {  # extra arguments -> sets qv_port, qv_pid
  qv_port=$(free_port)
  "$service" "$qv_port" "$work/logo.jpg" "$@" > "$work/qv.log" 2>&1 &
  qv_pid=$!; pids+=("$qv_pid")
  for _ in $(seq 50); do grep -q listening "$work/qv.log" 2>/dev/null && break; sleep 0.1; done
}
stop_engine() { kill "$qv_pid"; wait "$qv_pid" 2>/dev/null || true; }

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
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  keepalive_timeout 0;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  server {
    listen 127.0.0.1:$ng_port;
    location = /text { alias $work/text.html; }
    location = /file { alias $work/logo.jpg; }
  }
}
CONF
nginx -c "$work/nginx/nginx.conf" &
pids+=($!)
sleep 1

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
