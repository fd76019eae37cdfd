#!/usr/bin/env bash
# A log output that does not take lines must not slow the pages. Answers per
# second of the logged-on main menu (wrk, 50 connections, a connection per
# request) with [LOG] AccessLog=- and standard output /dev/null, then a pipe
# that nobody reads (the script holds its reading end and never reads it),
# in turn ROUNDS times; then the access log on a failing device (/dev/full)
# and, as root, on a small tmpfs that fills up. Prints the rate of each, the
# blocked rate against the unblocked (target: at least 90%) and the server's
# CPU time per answer (steadier than the rate on a shared machine), the lines
# dropped as /metrics counts them, the error log's lines about them, and how
# long a SIGTERM takes with the pipe blocked, after the load and during it
# (target: StopTimeout + 2 s at most).
#   bench/http/run_blocked_log.sh [build-dir]
#   (DURATION seconds per run, default 10; ROUNDS of unblocked and blocked,
#   default 3; STOP_TIMEOUT, default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-10}
rounds=${ROUNDS:-3}
stop_timeout=${STOP_TIMEOUT:-10}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo

qvweb_scratch "$build"
tmpfs_dir=""
cleanup() {
  stop_qvweb
  exec 7>&- 2>/dev/null || true
  [ -z "$tmpfs_dir" ] || umount "$tmpfs_dir" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$build/qvdemo" --db "$work/demo.fdb" --properties 200 --quiet
mkfifo "$work/stdout.fifo"
# The script holds the pipe's reading end and never reads it.
exec 7<>"$work/stdout.fifo"

start_server() {  # access-log-setting standard-output
  port=$(free_port)
  admin=$(free_port)
  cat > "$work/qvweb.ini" <<INI
[APP]
Address=127.0.0.1
Port=$port
HtDocs=$work/htdocs
StopTimeout=$stop_timeout
[DB]
DBName=$work/demo.fdb
User=SYSDBA
[LOG]
AccessLog=$1
[ADMIN]
Port=$admin
INI
  (cd "$work" && exec ./qvweb) > "$2" 2> "$work/stderr.log" &
  server_pid=$!
  base="http://127.0.0.1:$port"
  wait_port "$port" "$server_pid"
  cookie=$(logon_cookie "$base")
}
rate() {  # -> "requests/s CPU-us/request"
  wrk_cpu "$server_pid" "$work/wrk.txt" -t2 -c50 -d"${duration}s" -H "Connection: close" \
    -H "Cookie: IDHTTPSESSIONID=$cookie" "$base/"
}
dropped() {
  curl -s "http://127.0.0.1:$admin/metrics" |
    awk '/^qvweb_log_lines_dropped_total\{log="access"\}/ {print $2}'
}
told() {  # the error log's lines about dropped lines
  grep -c ' lines\? dropped: ' "$work/stderr.log" || true
}
# Stops the server with SIGTERM; stopped says how many milliseconds that
# took and the exit status (not in a subshell: the server is this shell's child).
stop_timed() {
  local start end status=0
  start=$(date +%s%N)
  kill -TERM "$server_pid"
  wait "$server_pid" 2>/dev/null || status=$?
  end=$(date +%s%N)
  server_pid=""
  stopped="$(((end - start) / 1000000)) ms (exit status $status)"
}

line() {  # round label rate cpu
  printf "%-6s %-26s %12s %11s %10s %6s\n" "$@" "$(dropped)" "$(told)"
}
printf "%-6s %-26s %12s %11s %10s %6s\n" round "access log output" requests/s "CPU us/req" \
  dropped told
free_sum=0 blocked_sum=0 free_cpu=0 blocked_cpu=0
for round in $(seq "$rounds"); do
  start_server - /dev/null
  read -r free cpu < <(rate)
  line "$round" "stdout /dev/null" "$free" "$cpu"
  free_sum=$(awk -v a="$free_sum" -v b="$free" 'BEGIN {print a + b}')
  free_cpu=$(awk -v a="$free_cpu" -v b="$cpu" 'BEGIN {print a + b}')
  stop_qvweb
  start_server - "$work/stdout.fifo"
  read -r blocked cpu < <(rate)
  line "$round" "stdout pipe nobody reads" "$blocked" "$cpu"
  blocked_sum=$(awk -v a="$blocked_sum" -v b="$blocked" 'BEGIN {print a + b}')
  blocked_cpu=$(awk -v a="$blocked_cpu" -v b="$cpu" 'BEGIN {print a + b}')
  stop_timed
  idle_stop=$stopped
done

start_server - "$work/stdout.fifo"
wrk -t2 -c50 -d"$((duration + 30))s" -H "Connection: close" -H "Cookie: IDHTTPSESSIONID=$cookie" \
  "$base/" > /dev/null 2>&1 &
wrk_pid=$!
sleep 3
stop_timed
loaded_stop=$stopped
kill "$wrk_pid" 2>/dev/null || true
wait "$wrk_pid" 2>/dev/null || true

start_server /dev/full /dev/null
read -r full cpu < <(rate)
line - "file on /dev/full" "$full" "$cpu"
grep -m1 ' lines\? dropped: ' "$work/stderr.log" | cut -c1-160 || true
stop_qvweb

if [ "$(id -u)" = 0 ] && mkdir -p "$work/tmpfs" && mount -t tmpfs -o size=256k tmpfs "$work/tmpfs" 2>/dev/null; then
  tmpfs_dir="$work/tmpfs"
  start_server "$tmpfs_dir/access.log" /dev/null
  read -r small cpu < <(rate)
  line - "file on a full 256k tmpfs" "$small" "$cpu"
  echo "       ($(wc -l < "$tmpfs_dir/access.log") lines in the file)"
  stop_qvweb
  umount "$tmpfs_dir"
  tmpfs_dir=""
else
  echo "file on a full tmpfs: skipped (needs root and mount)"
fi

awk -v b="$blocked_sum" -v f="$free_sum" -v bc="$blocked_cpu" -v fc="$free_cpu" 'BEGIN {
  printf "blocked / unblocked, all rounds: %.1f%% of the answers per second (target >= 90%%),", 100 * b / f
  printf " %.1f%% of the CPU per answer\n", 100 * bc / fc}'
echo "SIGTERM with the pipe blocked: ${idle_stop} after the load, ${loaded_stop} under load" \
  "(target <= $(((stop_timeout + 2) * 1000)) ms)"
