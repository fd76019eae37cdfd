#!/usr/bin/env bash
# Requests per second of the engine (null service) and of nginx serving the
# same bytes, side by side, each request on its own connection; then the
# resident memory of the engine holding 1,000 idle connections.
#   bench/http/run_wrk.sh [build-dir]   (default build; DURATION seconds per run, default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
duration=${DURATION:-10}

missing=()
for p in wrk nginx-light python3; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi

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
qv_port=$(free_port)
"$service" "$qv_port" "$work/logo.jpg" > "$work/qv.log" 2>&1 &
qv_pid=$!; pids+=("$qv_pid")
for _ in $(seq 50); do grep -q listening "$work/qv.log" 2>/dev/null && break; sleep 0.1; done
curl -s -o "$work/text.html" "http://127.0.0.1:$qv_port/text" 2>/dev/null ||
  python3 -c "import urllib.request,sys; open(sys.argv[2],'wb').write(urllib.request.urlopen(sys.argv[1]).read())" \
    "http://127.0.0.1:$qv_port/text" "$work/text.html"

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
  awk '/Requests\/sec/ {print $2}' "$work/$1.wrk"
}
printf '%-12s %14s %14s %8s\n' answer engine nginx ratio
for kind in text file; do
  qv=$(run "qv_$kind" "http://127.0.0.1:$qv_port/$kind")
  ng=$(run "ng_$kind" "http://127.0.0.1:$ng_port/$kind")
  printf '%-12s %14s %14s %8s\n' "$kind" "$qv" "$ng" "$(python3 -c "print(f'{$qv/$ng:.2f}')")"
  grep -E 'Socket errors|Non-2xx' "$work/qv_$kind.wrk" "$work/ng_$kind.wrk" || true
done

# 1,000 idle connections held open against the engine.
python3 - "$qv_port" "$qv_pid" <<'PY'
import socket, sys, time
port, pid = int(sys.argv[1]), sys.argv[2]
def rss():
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS"): return int(line.split()[1]) // 1024
before = rss()
conns = []
for _ in range(1000):
    s = socket.create_connection(("127.0.0.1", port)); conns.append(s)
time.sleep(2)
held = rss()
threads = len(open(f"/proc/{pid}/status").read().split("Threads:")[1].split()[0:1])
print(f"idle connections: 1000, resident memory: {held} MB (before: {before} MB), "
      f"threads: {open(f'/proc/{pid}/status').read().split('Threads:')[1].split()[0]}")
for s in conns: s.close()
PY
