#!/usr/bin/env bash
# Scale-out test, all on loopback: a private Firebird server holding the demo
# database, a private Redis for the sessions, two qvweb instances and HAProxy
# in front of them (round robin, no stickiness). The browser walk of
# tests/e2e runs against HAProxy: it logs on and opens a property while its
# requests alternate between the instances; then one instance is killed and
# the walk goes on through the other to its end, still logged on.
#   tests/scaleout/run.sh [BUILD_FOLDER]             the test
#   tests/scaleout/run.sh [BUILD_FOLDER] --measure   pages/s with two instances, one, and
#                                                    one with sessions in memory (wrk)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(cd "${1:-$root/build}" && pwd)
mode=${2:-test}
work="$build/scaleout"
duration=${DURATION:-10}

fail() { echo "scaleout: $*"; echo "scaleout: 0 passed, 1 failed"; exit 1; }
for tool in "$build/qvweb" "$build/qvdemo" /usr/sbin/haproxy /usr/bin/redis-server /usr/sbin/firebird \
            /usr/bin/isql-fb; do
  [ -x "$tool" ] || fail "$tool is missing (build first; scripts/install-deps.sh)"
done
[ "$mode" != --measure ] || command -v wrk >/dev/null || fail "wrk is missing (scripts/install-deps.sh --bench)"
fbroot=$(ls -d /usr/lib/*/firebird/3.0 | head -n 1)

(cd "$root/tests/e2e" && npm ci --no-audit --no-fund --loglevel=error)

rm -rf "$work"
mkdir -p "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

started() { wait_port "$1" "$2" || fail "$3 did not start; see $work"; }  # port pid name

# Firebird server with its own root folder, security database and port.
fb="$work/firebird"
fb_port=$(free_port)
fb_password=scaleout
mkdir -p "$fb/lock" "$fb/tmp" "$fb/intl"
for name in UDF plugins lib firebird.msg plugins.conf; do ln -s "$fbroot/$name" "$fb/$name"; done
cp "$fbroot/intl/libfbintl.so" "$fb/intl/"
ln -s "$fbroot/intl/fbintl.conf" "$fb/intl/fbintl.conf"
cat > "$fb/firebird.conf" <<CONF
RemoteServicePort = $fb_port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $fb/security3.fdb
CONF
: > "$fb/databases.conf"
cat > "$fb/security.sql" <<SQL
CREATE DATABASE '$fb/security3.fdb' USER 'SYSDBA';
CREATE OR ALTER USER SYSDBA PASSWORD '$fb_password' USING PLUGIN Srp;
COMMIT;
SQL
fbenv=(env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$fb" FIREBIRD_LOCK="$fb/lock" FIREBIRD_TMP="$fb/tmp")
"${fbenv[@]}" /usr/bin/isql-fb -q -i "$fb/security.sql" > "$fb/server.log" 2>&1 || fail "security database: $(cat "$fb/server.log")"
"$build/qvdemo" --db "$work/qvmain.fdb" > /dev/null
"${fbenv[@]}" /usr/sbin/firebird >> "$fb/server.log" 2>&1 &
pids+=($!)
started "$fb_port" $! "the Firebird server"

# Redis for the sessions.
redis_port=$(free_port)
/usr/bin/redis-server --port "$redis_port" --bind 127.0.0.1 --save "" --appendonly no \
  --dir "$work" --logfile "$work/redis.log" &
pids+=($!)
started "$redis_port" $! "redis-server"

# The qvweb instances: a copy of the server beside its own settings.
mkdir -p "$work/htdocs"
cp "$root/assets/qv_logo_jpg.jpg" "$work/htdocs/"
declare -A qv_port qv_pid
start_instance() {  # name store
  local folder="$work/$1" port
  port=$(free_port)
  mkdir -p "$folder"
  cp "$build/qvweb" "$folder/qvweb"
  cat > "$folder/qvweb.ini" <<INI
[APP]
Port=$port
HtDocs=$work/htdocs
LoginTimeout=10
TrustedProxies=127.0.0.1
[SESSIONS]
Store=$2
[DB]
DBName=127.0.0.1/$fb_port:$work/qvmain.fdb
User=SYSDBA
Pass=$fb_password
INI
  (cd "$folder" && exec ./qvweb) > "$folder/server.log" 2>&1 &
  pids+=($!)
  qv_port[$1]=$port
  qv_pid[$1]=$!
  started "$port" $! "qvweb $1"
}
start_instance a "redis://127.0.0.1:$redis_port/0"
start_instance b "redis://127.0.0.1:$redis_port/0"

# HAProxy: round robin, no stickiness; a refused connection goes to the other server.
hp_port=$(free_port)
stats_port=$(free_port)
cat > "$work/haproxy.cfg" <<CFG
global
  maxconn 1024
defaults
  mode http
  timeout connect 1s
  timeout client 30s
  timeout server 30s
  retries 3
  option redispatch
  option forwardfor
frontend web
  bind 127.0.0.1:$hp_port
  default_backend qv
backend qv
  balance roundrobin
  server a 127.0.0.1:${qv_port[a]} check inter 500ms fall 1 rise 2
  server b 127.0.0.1:${qv_port[b]} check inter 500ms fall 1 rise 2
listen stats
  bind 127.0.0.1:$stats_port
  stats enable
  stats uri /stats
CFG
/usr/sbin/haproxy -db -f "$work/haproxy.cfg" > "$work/haproxy.log" 2>&1 &
pids+=($!)
started "$hp_port" $! "haproxy"
balancer="http://127.0.0.1:$hp_port"

# Requests (HTTP sessions in HAProxy's terms) each instance has answered.
served() { curl -s "http://127.0.0.1:$stats_port/stats;csv" | awk -F, -v s="$1" '$1 == "qv" && $2 == s {print $8}'; }

if [ "$mode" = --measure ]; then
  start_instance m memory
  rate() {  # url cookie
    wrk -t2 -c16 -d"${duration}s" -H "Cookie: IDHTTPSESSIONID=$2" "$1" | awk '/Requests\/sec/ {print $2}'
  }
  page=/list
  cookie=$(logon_cookie "$balancer")
  echo "wrk -t2 -c16 -d${duration}s on $page, logged on"
  echo "two instances behind HAProxy (Redis sessions):  $(rate "$balancer$page" "$cookie") pages/s"
  echo "one instance directly (Redis sessions):         $(rate "http://127.0.0.1:${qv_port[a]}$page" "$cookie") pages/s"
  memory_cookie=$(logon_cookie "http://127.0.0.1:${qv_port[m]}")
  echo "one instance directly (sessions in memory):     $(rate "http://127.0.0.1:${qv_port[m]}$page" "$memory_cookie") pages/s"
  kill -KILL "${qv_pid[b]}"
  sleep 1.5  # the health check marks b down
  echo "one instance behind HAProxy (b stopped):        $(rate "$balancer$page" "$cookie") pages/s"
  exit 0
fi

# The walk. Before the tabs, both instances must have answered; then a is killed.
midwalk="$work/midwalk.sh"
cat > "$midwalk" <<SH
#!/usr/bin/env bash
set -e
a=\$(curl -s "http://127.0.0.1:$stats_port/stats;csv" | awk -F, '\$1 == "qv" && \$2 == "a" {print \$8}')
b=\$(curl -s "http://127.0.0.1:$stats_port/stats;csv" | awk -F, '\$1 == "qv" && \$2 == "b" {print \$8}')
echo "# requests so far: a \$a, b \$b; killing a"
[ "\${a:-0}" -ge 3 ] && [ "\${b:-0}" -ge 3 ] || { echo "# the requests did not alternate"; exit 1; }
kill -KILL ${qv_pid[a]}
SH
chmod +x "$midwalk"
echo "scaleout: HAProxy on $hp_port, qvweb a on ${qv_port[a]}, b on ${qv_port[b]}, Redis on $redis_port, Firebird on $fb_port"
set +e
QV_E2E_MIDWALK="$midwalk" node "$root/tests/e2e/browser_test.mjs" "$balancer/" "$work/screenshots" demo demo \
  | tee "$work/browser.log"
set -e
browser_counts "$work/browser.log"
if grep -q '^# requests so far' "$work/browser.log" && ! kill -0 "${qv_pid[a]}" 2>/dev/null; then
  echo "ok - the requests alternated, instance a was killed mid-walk"
  passed=$((passed + 1))
else
  echo "not ok - instance a was not killed mid-walk"
  failed=$((failed + 1))
fi
after=$(served b)
echo "# requests answered by b: ${after:-0}"
echo "scaleout: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
