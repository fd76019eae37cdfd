#!/usr/bin/env bash
# Sessions in Redis under a flood of visitors without cookies: a qvweb with
# [SESSIONS] Store=redis:// in front of a Redis held to maxmemory 24mb
# (noeviction), REQUESTS (default 200,000) cookie-less requests for the logo,
# then the keys and memory Redis holds, and whether a log-on still works;
# then LOGONS (default 2,000) log-ons with MaxSessions=1000, and the keys left.
#   bench/http/run_redis_flood.sh [build-dir]
# OLD_QVWEB: another qvweb binary measured the same way first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
requests=${REQUESTS:-200000}
logons=${LOGONS:-2000}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo
qvweb_scratch "$build"
"$build/qvdemo" --db "$work/demo.fdb" --properties 20 --quiet
redis_port=$(free_port)
/usr/bin/redis-server --port "$redis_port" --bind 127.0.0.1 --save "" --appendonly no --dir "$work" \
  --maxmemory 24mb --maxmemory-policy noeviction --logfile "$work/redis.log" &
redis_pid=$!
trap 'stop_qvweb; stop_pid "$redis_pid"; rm -rf "$work"' EXIT
wait_port "$redis_port" "$redis_pid" || { echo "redis-server did not start" >&2; exit 1; }
redis() { redis-cli -p "$redis_port" "$@"; }
sessions() { redis --scan --pattern 'qvweb:session:*' | wc -l; }

# Each thread stops after its share of the requests.
cat > "$work/count.lua" <<'LUA'
local n = 0
local share = tonumber(os.getenv("SHARE"))
function response(status, headers, body)
  n = n + 1
  if n >= share then wrk.thread:stop() end
end
LUA

run() {  # label binary
  redis FLUSHALL > /dev/null
  port=$(free_port)
  scratch_ini "$port" MaxSessions=1000 "[SESSIONS]" "Store=redis://127.0.0.1:$redis_port/0"
  start_qvweb "$port" "$2" || exit 1
  redis FLUSHALL > /dev/null  # the start's own visit
  SHARE=$((requests / 4)) wrk -t4 -c32 -d600s -s "$work/count.lua" "http://127.0.0.1:$port/image/qv_logo_jpg.jpg" \
    > "$work/wrk.txt" 2>&1
  local sent
  sent=$(awk '/ requests in / {print $1}' "$work/wrk.txt")
  printf '%-5s %s cookie-less requests: Redis holds %s sessions (%s keys), %s; ' "$1" "$sent" "$(sessions)" \
    "$(redis DBSIZE)" \
    "$(redis INFO memory | sed -n 's/^used_memory_human:\([^\r]*\).*/\1/p')"
  local cookie
  cookie=$(logon_cookie "http://127.0.0.1:$port")
  if curl -s -b "IDHTTPSESSIONID=$cookie" "http://127.0.0.1:$port/list" | grep -q 'href="/LOGOFF"'; then
    echo "a log-on works"
  else
    echo "a log-on FAILS"
  fi
  for _ in $(seq "$logons"); do curl -s -o /dev/null --data 'uName=demo&uPass=demo' "http://127.0.0.1:$port/DOLOGIN"; done
  printf '%-5s %s log-ons with MaxSessions=1000: Redis holds %s sessions\n' "$1" "$logons" "$(sessions)"
  stop_qvweb
}

if [ -n "${OLD_QVWEB:-}" ]; then run old "$OLD_QVWEB"; fi
run this "$work/qvweb"
