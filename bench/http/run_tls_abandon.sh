#!/usr/bin/env bash
# TLS abandon flood: the plain port's logo latency (wrk, a connection per
# request) while 8 clients open TLS connections and abandon each handshake,
# 2,000 each at most, with an RSA-2048 and an RSA-4096 certificate. Two ways
# of abandoning: "reply" waits for the server's first answer (so the server
# has made its key exchange and signature) and then resets; "reset" resets
# right after the ClientHello. First the latency with no flood. The flood's
# clients run at the lowest priority: an attacker's processors are not the
# server's, and here they share the machine.
#   bench/http/run_tls_abandon.sh [build-dir]
# DURATION: seconds wrk measures per run (default 15); CLIENTS (8) and
# HANDSHAKES (2000) shape the flood. OLD_QVWEB: another qvweb binary (say, one
# built before handshakes left the front thread) measured the same way first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-15}
clients=${CLIENTS:-8}
handshakes=${HANDSHAKES:-2000}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo

qvweb_scratch "$build"
"$build/qvdemo" --db "$work/demo.fdb" --properties 50 --quiet
for bits in 2048 4096; do
  openssl req -x509 -newkey "rsa:$bits" -nodes -days 2 -subj /CN=localhost \
    -keyout "$work/rsa$bits.key" -out "$work/rsa$bits.crt" 2>/dev/null
done
binaries=("$work/qvweb")
labels=(this)
if [ -n "${OLD_QVWEB:-}" ]; then
  cp "$OLD_QVWEB" "$work/qvweb.old"
  binaries=("$work/qvweb.old" "$work/qvweb")
  labels=(old this)
fi

start_server() {  # binary bits
  port=$(free_port)
  tls_port=$(free_port)
  cat > "$work/qvweb.ini" <<INI
[APP]
Port=$port
HtDocs=$work/htdocs
[TLS]
Port=$tls_port
Certificate=$work/rsa$2.crt
Key=$work/rsa$2.key
[DB]
DBName=$work/demo.fdb
User=SYSDBA
[LOG]
AccessLog=off
INI
  cp "$1" "$work/run_qvweb"
  (cd "$work" && exec ./run_qvweb -c "$work/qvweb.ini") > "$work/server.log" 2>&1 &
  server_pid=$!
  wait_port "$port" "$server_pid" && wait_port "$tls_port" "$server_pid" ||
    { cat "$work/server.log" >&2; exit 1; }
}

# wrk's p50 and p99 of the logo on the plain port, and its error counts.
probe() {
  wrk -t1 -c4 -d"${duration}s" --latency -H "Connection: close" \
    "http://127.0.0.1:$port/image/qv_logo_jpg.jpg" > "$work/wrk.txt" 2>&1
  awk '
    /^ +50%/ {p50 = $2}
    /^ +99%/ {p99 = $2}
    / requests in / {n = $1}
    /Socket errors/ {errors = $0; sub(/^ *Socket errors: */, "", errors)}
    END {printf "%8s %8s %8s  %s\n", p50, p99, n, errors ? errors : "no socket errors"}' "$work/wrk.txt"
}

# The flood in the background; after the probe, its clients are stopped and
# their counts summed.
flood() {  # mode -> prints the probe line and the flood's totals
  local pids=() i
  for i in $(seq "$clients"); do
    nice -n 19 python3 "$root/bench/http/tls_abandon.py" "$tls_port" "$handshakes" "$1" > "$work/flood.$i" 2>&1 &
    pids+=($!)
  done
  sleep 1  # the flood under way
  probe
  for i in "${pids[@]}"; do kill -TERM "$i" 2>/dev/null || true; done
  for i in "${pids[@]}"; do wait "$i" 2>/dev/null || true; done
  cat "$work"/flood.* | awk -F'[= ]' '
    {opened += $2; answered += $4; refused += $6; if ($8 > s) s = $8}
    END {printf "    flood: %d handshakes opened in %.0f s, %d answered, %d closed unanswered\n", opened, s, answered, refused}'
  rm -f "$work"/flood.*
}

echo "wrk -t1 -c4 -d${duration}s --latency, Connection: close, /image/qv_logo_jpg.jpg on the plain port;"
echo "flood: $clients clients x $handshakes abandoned TLS handshakes at most, stopped when wrk ends"
printf '%-5s %-9s %-14s %8s %8s %8s  %s\n' qvweb cert flood p50 p99 requests "wrk socket errors"
for index in "${!binaries[@]}"; do
  for bits in 2048 4096; do
    start_server "${binaries[$index]}" "$bits"
    if [ "$bits" = 2048 ]; then
      printf '%-5s %-9s %-14s ' "${labels[$index]}" "rsa$bits" none; probe
    fi
    for mode in reply reset; do
      printf '%-5s %-9s %-14s ' "${labels[$index]}" "rsa$bits" "abandon:$mode"; flood "$mode"
    done
    stop_qvweb
  done
done
