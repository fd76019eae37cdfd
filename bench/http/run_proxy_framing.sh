#!/usr/bin/env bash
# Request framing behind HAProxy, as a visitor meets it: the engine (null
# service, keep-alive on) behind HAProxy, and curl sending shapes whose
# framing the two must agree on. Prints, for each shape, the status the
# client got and how long it took; a framing fault shows as a 502 or a wait
# of HAProxy's server timeout (10 s).
#   bench/http/run_proxy_framing.sh [build-dir]   (default build; SERVICE: a null service binary
#                                                  to run instead of building one)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=${1:-$root/build}

[ -x /usr/sbin/haproxy ] || { echo "haproxy is missing (scripts/install-deps.sh)"; exit 1; }
service=${SERVICE:-}
if [ -z "$service" ]; then
  build_targets "$build" qv_http_null_service
  service=$(find "$build" -name qv_http_null_service -type f -perm -u+x | head -n 1)
fi

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do stop_pid "$p"; done; rm -rf "$work"; }
trap cleanup EXIT

head -c 1024 /dev/urandom > "$work/logo.jpg"
qv_port=$(free_port)
"$service" "$qv_port" "$work/logo.jpg" --keep-alive > "$work/qv.log" 2>&1 &
pids+=($!)
wait_port "$qv_port" $! || { echo "the engine did not start"; exit 1; }

hp_port=$(free_port)
cat > "$work/haproxy.cfg" <<CFG
global
  maxconn 256
defaults
  mode http
  timeout connect 1s
  timeout client 30s
  timeout server 10s
frontend web
  bind 127.0.0.1:$hp_port
  default_backend qv
backend qv
  http-reuse always
  server a 127.0.0.1:$qv_port
CFG
/usr/sbin/haproxy -db -f "$work/haproxy.cfg" > "$work/haproxy.log" 2>&1 &
pids+=($!)
wait_port "$hp_port" $! || { echo "haproxy did not start"; exit 1; }
proxy="http://127.0.0.1:$hp_port"

# One shape: its name, then curl's arguments (requests on one connection
# separated by --next). Prints the status of each answer and the whole time.
timed() {
  local name=$1; shift
  local each=(-s -o /dev/null -w '%{http_code} ')
  local args=("${each[@]}") arg
  for arg in "$@"; do
    args+=("$arg")
    [ "$arg" = --next ] && args+=("${each[@]}")
  done
  local start codes
  start=$(date +%s.%N)
  codes=$(curl -m 30 "${args[@]}" || true)
  printf '%-46s %-12s %6.3f s\n' "$name" "$codes" "$(echo "$(date +%s.%N) - $start" | bc)"
}

printf '%-46s %-12s %8s\n' shape statuses time
timed "chunked POST" -H 'Transfer-Encoding: chunked' --data-binary 'uName=a&uPass=b' "$proxy/dologin"
timed "chunked POST, then a GET on the connection" -H 'Transfer-Encoding: chunked' --data-binary 'x=1' \
  "$proxy/a" --next "$proxy/b"
timed "DELETE, then a GET on the connection" -X DELETE "$proxy/a" --next "$proxy/b"
timed "OPTIONS, then a GET on the connection" -X OPTIONS "$proxy/a" --next "$proxy/b"
timed "PUT with a body" -X PUT --data-binary 'abc' "$proxy/a"
timed "an absurd method" -X "$(head -c 8000 /dev/zero | tr '\0' M)" "$proxy/a"
timed "three GETs on one connection" "$proxy/a" --next "$proxy/b" --next "$proxy/c"
