#!/usr/bin/env bash
# The access log's cost: requests per second and server CPU time per request
# of qvweb serving the logo and the logged-on main menu (wrk, 50 connections,
# a connection per request) with [LOG] AccessLog off, to a file, and to
# standard output (redirected to a file), in turn, ROUNDS times.
#   bench/http/run_wrk_access_log.sh [build-dir]   (DURATION seconds per run, default 10; ROUNDS, default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-10}
rounds=${ROUNDS:-3}

"$root/scripts/install-deps.sh" bench
[ -f "$build/build.ninja" ] ||
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target qvweb qvdemo -j2 >/dev/null

work=$(mktemp -d)
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  server_pid=""
}
cleanup() { stop_server; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/htdocs"
cp "$root/assets/qv_logo_jpg.jpg" "$work/htdocs/"
cp "$build/qvweb" "$work/qvweb"
"$build/qvdemo" --db "$work/demo.fdb" --properties 200 --quiet
ticks=$(getconf CLK_TCK)

start_server() {  # access-log setting
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$work/qvweb.ini" <<INI
[APP]
Port=$port
HtDocs=$work/htdocs
[DB]
DBName=$work/demo.fdb
User=SYSDBA
[LOG]
AccessLog=$1
INI
  rm -f "$work/access.log" "$work/stdout.log"
  (cd "$work" && exec ./qvweb) > "$work/stdout.log" 2> "$work/stderr.log" &
  server_pid=$!
  base="http://127.0.0.1:$port"
  for _ in $(seq 100); do curl -s -o /dev/null "$base/image/x" && break; sleep 0.1; done
  cookie=$(curl -s -D - -o /dev/null --data 'uName=demo&uPass=demo' "$base/DOLOGIN" |
    sed -n 's/^[Ss]et-[Cc]ookie: *IDHTTPSESSIONID=\([A-Za-z0-9]*\).*/\1/p' | head -n 1)
}
rate() {  # path -> "requests/s CPU-us/request"
  local before after
  before=$(awk '{print $14 + $15}' "/proc/$server_pid/stat")
  wrk -t2 -c50 -d"${duration}s" -H "Connection: close" -H "Cookie: IDHTTPSESSIONID=$cookie" \
    "$base$1" > "$work/wrk.txt" 2>&1
  after=$(awk '{print $14 + $15}' "/proc/$server_pid/stat")
  grep -q 'Requests/sec' "$work/wrk.txt" || { cat "$work/wrk.txt" >&2; exit 1; }
  awk -v cpu=$((after - before)) -v hz="$ticks" '
    / requests in / {n = $1}
    /Requests/ && /sec/ {rate = $2}
    END {printf "%s %.1f\n", rate, cpu / hz * 1e6 / n}' "$work/wrk.txt"
}

printf "%-6s %-8s %-9s %12s %14s\n" round page log requests/s "CPU us/req"
for round in $(seq "$rounds"); do
  for log in off "$work/access.log" -; do
    label=$log; [ "$log" = off ] || { [ "$log" = - ] && label=stdout || label=file; }
    start_server "$log"
    for page in /image/qv_logo_jpg.jpg /; do
      name=logo; [ "$page" = / ] && name=menu
      read -r r c < <(rate "$page")
      printf "%-6s %-8s %-9s %12s %14s\n" "$round" "$name" "$label" "$r" "$c"
    done
    stop_server
  done
done
