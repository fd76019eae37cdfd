#!/usr/bin/env bash
# SIGHUP under load: wrk loads the logged-on main menu for DURATION seconds
# while the server is sent SIGHUP RELOADS times, evenly spread; prints wrk's
# socket errors (connect, read, write, timeout) and answers other than 2xx,
# and whether a session logged on before the reloads is still logged on
# after them. Once with a connection per request, once with connections
# kept open (KeepAlive=1).
#   bench/faults/run_reload.sh [build-dir]   (DURATION seconds per run, default 10; RELOADS, default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-10}
reloads=${RELOADS:-10}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo

qvweb_scratch "$build"
"$build/qvdemo" --db "$work/demo.fdb" --properties 200 --quiet

start_server() {  # keep-alive 0/1
  port=$(free_port)
  scratch_ini "$port" "KeepAlive=$1"
  (cd "$work" && exec ./qvweb) > "$work/stdout.log" 2> "$work/stderr.log" &
  server_pid=$!
  base="http://127.0.0.1:$port"
  wait_port "$port" "$server_pid"
}

printf '%-22s %10s %8s %8s %8s %8s %8s %9s %9s\n' connections requests/s connect read write timeout non-2xx reloaded "session"
for keep in 0 1; do
  start_server "$keep"
  cookie=$(logon_cookie "$base")
  label="one per request"; headers=(-H "Connection: close")
  [ "$keep" = 1 ] && { label="kept open"; headers=(); }
  wrk -t2 -c50 -d"${duration}s" "${headers[@]}" -H "Cookie: IDHTTPSESSIONID=$cookie" "$base/" \
    > "$work/wrk.txt" 2>&1 &
  wrk_pid=$!
  pause=$(python3 -c "print($duration / ($reloads + 1))")
  for _ in $(seq "$reloads"); do
    sleep "$pause"
    kill -HUP "$server_pid"
  done
  wait "$wrk_pid"
  reloaded=$(grep -c "Settings reloaded; " "$work/stderr.log" || true)
  session=no
  curl -s -b "IDHTTPSESSIONID=$cookie" "$base/list" | grep -q 'href="/LOGOFF"' && session=yes
  read -r rate < <(awk '/Requests\/sec/ {print $2}' "$work/wrk.txt")
  read -r connect readerr writeerr timeout < <(awk '
    /Socket errors/ {gsub(",", ""); print $4, $6, $8, $10; found = 1}
    END {if (!found) print 0, 0, 0, 0}' "$work/wrk.txt")
  non2xx=$(awk '/Non-2xx/ {print $5}' "$work/wrk.txt"); non2xx=${non2xx:-0}
  printf '%-22s %10s %8s %8s %8s %8s %8s %9s %9s\n' "$label" "$rate" "$connect" "$readerr" \
    "$writeerr" "$timeout" "$non2xx" "$reloaded/$reloads" "$session"
  stop_qvweb
done
