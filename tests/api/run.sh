#!/usr/bin/env bash
# Data answers test: a fresh demo database on a private Firebird server, the
# built server in front of it; tests/api/api_test.mjs walks every data page in
# both forms against docs/openapi.json, then stops the database server to see
# the answers of an outage.
# Usage: tests/api/run.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/functions.sh"
. "$root/bench/pages/firebird_server.sh"
build=$(cd "${1:-$root/build}" && pwd)
work="$build/api"

for tool in "$build/qvweb" "$build/qvdemo" "$build/qv_firebird_server"; do
  [ -x "$tool" ] || { echo "api: $tool is missing; build first"; echo "api: 0 passed, 1 failed"; exit 1; }
done

(cd "$here" && npm ci --no-audit --no-fund --loglevel=error)

rm -rf "$work"
mkdir -p "$work/htdocs"
"$build/qvdemo" --db "$work/qvmain.fdb" >/dev/null
cp "$root/assets/qv_logo_jpg.jpg" "$work/htdocs/"

fb_helper=""
server_pid=""
trap 'stop_qvweb; [ -z "$fb_helper" ] || stop_pid "$fb_helper"' EXIT
start_firebird_server "$build"
cp "$work/qvmain.fdb" "$fb_folder/qvmain.fdb"
port=$(free_port)
demo_ini "$port" "$work/htdocs" "127.0.0.1/$fb_port:$fb_folder/qvmain.fdb" > "$work/qvweb.ini"
echo "Pass=$fb_password" >> "$work/qvweb.ini"
cp "$build/qvweb" "$work/qvweb"
(cd "$work" && exec ./qvweb) >"$work/server.log" 2>&1 &
server_pid=$!
if ! wait_port "$port" "$server_pid"; then
  echo "api: the server did not start:"; cat "$work/server.log"
  echo "api: 0 passed, 1 failed"; exit 1
fi

set +e
node "$here/api_test.mjs" "http://127.0.0.1:$port/" "$root/docs/openapi.json" demo demo "$fb_pid" |
  tee "$work/api.log"
status=${PIPESTATUS[0]}
set -e
grep -qE '^api: [0-9]+ passed, 0 failed' "$work/api.log" || status=1
exit "$status"
