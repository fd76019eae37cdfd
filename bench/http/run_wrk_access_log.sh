#!/usr/bin/env bash
# The access log's cost: requests per second and server CPU time per request
# of qvweb serving the logo and the logged-on main menu (wrk, 50 connections,
# a connection per request) with [LOG] AccessLog off, to a file, and to
# standard output (redirected to a file), in turn, ROUNDS times.
#   bench/http/run_wrk_access_log.sh [build-dir]   (DURATION seconds per run, default 10; ROUNDS, default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-10}
rounds=${ROUNDS:-3}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo

qvweb_scratch "$build"
"$build/qvdemo" --db "$work/demo.fdb" --properties 200 --quiet

start_server() {  # access-log setting
  port=$(free_port)
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
  wait_port "$port" "$server_pid" || true
  cookie=$(logon_cookie "$base")
}
rate() {  # path -> "requests/s CPU-us/request"
  wrk_cpu "$server_pid" "$work/wrk.txt" -t2 -c50 -d"${duration}s" -H "Connection: close" \
    -H "Cookie: IDHTTPSESSIONID=$cookie" "$base$1"
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
    stop_qvweb
  done
done
