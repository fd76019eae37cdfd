# Small shell functions the demo, test and benchmark scripts share.
# Sourced, not run:  . "$root/scripts/functions.sh"
# Only loopback: every server started here listens on 127.0.0.1.

qv_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Configures BUILD when it has no build files yet, then builds TARGETs quietly.
build_targets() {  # build target...
  local build=$1; shift
  [ -f "$build/build.ninja" ] ||
    cmake -S "$qv_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target "$@" -j2 >/dev/null
}

# A TCP port on 127.0.0.1 that is free now.
free_port() {
  node -e 'const s=require("net").createServer().listen(0,"127.0.0.1",()=>{console.log(s.address().port);s.close();});'
}

# Waits about ten seconds at most for something to listen on 127.0.0.1:PORT,
# less when process PID ends first. Fails when nothing came.
wait_port() {  # port pid
  local _
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Stops a process started by the script and waits for it.
stop_pid() {  # pid
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# CPU time (user and system) the processes have spent so far, in clock ticks.
cpu_ticks() {  # pid...
  local t=0 p
  for p in "$@"; do t=$((t + $(awk '{print $14 + $15}' "/proc/$p/stat"))); done
  echo "$t"
}

# The session cookie's value in the response headers read from standard input.
session_cookie() {
  sed -n 's/^[Ss]et-[Cc]ookie: *IDHTTPSESSIONID=\([A-Za-z0-9]*\).*/\1/p' | head -n 1
}

# Logs on at BASE as the demo user; prints the session cookie's value.
logon_cookie() {  # base-url
  curl -s -D - -o /dev/null --data 'uName=demo&uPass=demo' "$1/DOLOGIN" | session_cookie
}

# A scratch folder, $work, with a copy of BUILD's qvweb and the logo in
# $work/htdocs, for one server whose id goes in server_pid. The exit stops the
# server and removes the folder.
qvweb_scratch() {  # build
  work=$(mktemp -d)
  server_pid=""
  trap 'stop_qvweb; rm -rf "$work"' EXIT
  mkdir -p "$work/htdocs"
  cp "$qv_root/assets/qv_logo_jpg.jpg" "$work/htdocs/"
  cp "$1/qvweb" "$work/qvweb"
}
# Starts BINARY (default $work/qvweb) in $work with the settings in
# $work/qvweb.ini (a copy named run_qvweb, so that a binary from elsewhere
# runs beside them), its output in $work/server.log; waits until PORT
# listens, then asks for the main menu once, so that the database is
# attached. Sets server_pid; fails with the output when nothing listens.
start_qvweb() {  # port [binary]
  cp "${2:-$work/qvweb}" "$work/run_qvweb"
  (cd "$work" && exec ./run_qvweb -c "$work/qvweb.ini") > "$work/server.log" 2>&1 &
  server_pid=$!
  wait_port "$1" "$server_pid" || { cat "$work/server.log" >&2; return 1; }
  curl -s -o /dev/null "http://127.0.0.1:$1/"
}
stop_qvweb() {
  [ -z "$server_pid" ] || stop_pid "$server_pid"
  server_pid=""
}

# The settings of a qvweb serving the logo from HTDOCS and the database DBNAME,
# on loopback only (the demo's password is no secret).
demo_ini() {  # port htdocs dbname
  cat <<INI
[APP]
Port=$1
Address=127.0.0.1
HtDocs=$2
LoginTimeout=10
ReadTimeout=60
[DB]
DBName=$3
User=SYSDBA
INI
}

# The settings of a bench's qvweb in $work/qvweb.ini: the demo's on PORT for
# $work/demo.fdb and the logo in $work/htdocs, then the LINES given (keys of
# [APP] until a line names another section), without an access log.
scratch_ini() {  # port [line...]
  local port=$1; shift
  { demo_ini "$port" "$work/htdocs" "$work/demo.fdb"
    echo "[APP]"
    [ $# -eq 0 ] || printf '%s\n' "$@"
    printf '[LOG]\nAccessLog=off\n'; } > "$work/qvweb.ini"
}

# Runs wrk with WRK-ARGS, its report going to OUT; prints the requests per
# second and the CPU microseconds the processes PIDS (one id, or several in one
# argument, space-separated) spent per request. Fails, with
# the report on standard error, when wrk gave no rate.
wrk_cpu() {  # pids out wrk-args...
  local pids=$1 out=$2 before after; shift 2
  before=$(cpu_ticks $pids)
  wrk "$@" > "$out" 2>&1
  after=$(cpu_ticks $pids)
  grep -q 'Requests/sec' "$out" || { cat "$out" >&2; exit 1; }
  awk -v cpu=$((after - before)) -v hz="$(getconf CLK_TCK)" '
    / requests in / {n = $1}
    /Requests\/sec/ {rate = $2}
    END {printf "%s %.1f\n", rate, cpu / hz * 1e6 / n}' "$out"
}

# Starts nginx in the foreground on 127.0.0.1:PORT, its files in DIR, no
# access log; LOCATIONS are the server block's lines, HTTP-LINES more lines for
# the http block. Sets ng_pid; fails when nginx does not answer.
nginx_start() {  # dir port keepalive-timeout locations [http-lines]
  local dir=$1
  mkdir -p "$dir"
  cat > "$dir/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  keepalive_timeout $3;
${5:+  $5
}  client_body_temp_path $dir;
  proxy_temp_path $dir;
  fastcgi_temp_path $dir;
  uwsgi_temp_path $dir;
  scgi_temp_path $dir;
  server {
    listen 127.0.0.1:$2;
    $4
  }
}
CONF
  nginx -c "$dir/nginx.conf" &
  ng_pid=$!
  wait_port "$2" "$ng_pid" && return 0
  echo "nginx did not start:" >&2; cat "$dir/error.log" >&2
  stop_pid "$ng_pid"
  return 1
}

# The counts of the browser walk's last summary line in LOG, in passed and
# failed; a walk that gave none counts as one failure.
browser_counts() {  # log
  local summary
  summary=$(grep -E '^browser: [0-9]+ passed, [0-9]+ failed' "$1" | tail -n 1 || true)
  passed=$(sed -E 's/^browser: ([0-9]+) passed.*/\1/' <<<"${summary:-browser: 0 passed}")
  failed=$(sed -E 's/^browser: [0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"${summary:-browser: 0 passed, 1 failed}")
}
