#!/usr/bin/env bash
# The whole server (qvweb, serving the logo, admin port on) under two attacks
# on request bodies:
#   1. 1,000 connections from 4 addresses (within the per-address cap), each
#      sending a POST that announces 1 MiB and sends 1 MiB less one byte, then
#      waiting: resident memory before, at the peak, while they wait and 5 s
#      after they close, what the connections got, and the request memory the
#      server reports on its admin port;
#   2. one POST in chunks of one byte whose chunk lines carry 16,000-byte
#      extensions, and one in plain one-byte chunks: the bytes sent before the
#      server answered, and the answer;
#   3. the logo's p99 (wrk -c20) and the CPU qvweb spends meanwhile, alone,
#      then while the first request of part 2 is sent again and again (on a
#      small machine the attacking client takes CPU of its own).
#   bench/http/run_body_attacks.sh [build-dir]   (default build; QVWEB: a qvweb binary to run instead,
#                                                 e.g. one built from older code; DURATION seconds of
#                                                 each wrk run, default 10; PARTS to run, default 123)
# Only loopback traffic.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-10}
parts=${PARTS:-123}
binary=${QVWEB:-}
if [ -z "$binary" ]; then
  build_targets "$build" qvweb
  binary=$build/qvweb
fi
ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do stop_pid "$p"; done; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/htdocs" "$work/qv"
cp "$root/assets/qv_logo_jpg.jpg" "$work/htdocs/"
cp "$binary" "$work/qv/qvweb"
attacks=$root/bench/http/body_attacks.py

start_qv() {  # -> qv_port, admin_port, qv_pid
  qv_port=$(free_port)
  admin_port=$(free_port)
  {
    printf '[LOG]\nAccessLog=off\n'
    printf '[APP]\nPort=%s\nAddress=127.0.0.1\nHtDocs=%s\n' "$qv_port" "$work/htdocs"
    printf '[ADMIN]\nPort=%s\n' "$admin_port"
    printf '[DB]\nDBName=%s\n' "$work/none.fdb"  # the logo needs no database
  } > "$work/qv/qvweb.ini"
  (cd "$work/qv" && exec ./qvweb) > "$work/qv.log" 2>&1 &
  qv_pid=$!
  pids+=("$qv_pid")
  wait_port "$qv_port" "$qv_pid" || { echo "qvweb did not start:" >&2; cat "$work/qv.log" >&2; exit 1; }
}
stop_qv() { stop_pid "$qv_pid"; }
request_memory() {
  curl -s "http://127.0.0.1:$admin_port/metrics" | grep '^qvweb_request_memory' | sed 's/^/  /' ||
    echo "  (no request memory series on the admin port)"
}

if [[ $parts == *1* ]]; then
  start_qv
  python3 "$attacks" held "$qv_port" "$qv_pid" 1000 4 3
  request_memory
  stop_qv
fi

if [[ $parts == *2* ]]; then
  start_qv
  python3 "$attacks" chunks "$qv_port" 16000 $((32 << 30))
  python3 "$attacks" chunks "$qv_port" 0 $((1 << 30))
  stop_qv
fi

if [[ $parts == *3* ]]; then
  start_qv
  logo="http://127.0.0.1:$qv_port/image/qv_logo_jpg.jpg"
  # The logo's p99 and the CPU seconds qvweb spent meanwhile.
  p99() {
    local before p
    before=$(cpu_ticks "$qv_pid")
    p=$(wrk -t2 -c20 -d"${duration}s" --latency -H "Connection: close" "$logo" | awk '$1 == "99%" {print $2}')
    echo "$p, qvweb CPU $(echo "scale=1; ($(cpu_ticks "$qv_pid") - $before) / $(getconf CLK_TCK)" | bc) s"
  }
  alone=$(p99)
  python3 "$attacks" chunks-for "$qv_port" 16000 $((32 << 30)) $((duration + 2)) > "$work/attack.log" 2>&1 &
  attacker=$!
  pids+=("$attacker")
  sleep 1
  attacked=$(p99)
  wait "$attacker" || true
  echo "logo p99, wrk -t2 -c20 -d${duration}s:"
  echo "  alone: $alone"
  echo "  beside the chunked request sent again and again: $attacked"
  echo "  ($(cat "$work/attack.log"))"
  stop_qv
fi
