#!/usr/bin/env bash
# Browser test: copies the built server beside a fresh demo database, starts it,
# walks every page in headless Chromium (tests/e2e/browser_test.mjs), then stops
# the server with SIGTERM and expects a clean exit.
# Usage: tests/e2e/run.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(cd "${1:-$root/build}" && pwd)
work="$build/e2e"

for tool in "$build/qvweb" "$build/qvdemo"; do
  [ -x "$tool" ] || { echo "e2e: $tool is missing; build first"; echo "e2e: 0 passed, 1 failed"; exit 1; }
done

(cd "$here" && npm ci --no-audit --no-fund --loglevel=error)

rm -rf "$work"
mkdir -p "$work/htdocs" "$work/screenshots"
"$build/qvdemo" --db "$work/qvmain.fdb" >/dev/null
cp "$root/assets/qv_logo_jpg.jpg" "$work/htdocs/"
# The server alone, copied elsewhere, must run: its settings lie beside it.
cp "$build/qvweb" "$work/qvweb"
port=$(free_port)
demo_ini "$port" "$work/htdocs" "$work/qvmain.fdb" > "$work/qvweb.ini"

(cd "$work" && exec ./qvweb) >"$work/server.log" 2>&1 &
server=$!
stop_server() {
  if kill -0 "$server" 2>/dev/null; then kill -TERM "$server"; fi
  wait "$server"
}
trap 'kill -TERM "$server" 2>/dev/null || true' EXIT

if ! wait_port "$port" "$server"; then
  echo "e2e: the server did not start:"; cat "$work/server.log"
  echo "e2e: 0 passed, 1 failed"; exit 1
fi

echo "e2e: screenshots go to $work/screenshots"
set +e
node "$here/browser_test.mjs" "http://127.0.0.1:$port/" "$work/screenshots" demo demo | tee "$work/browser.log"
stop_server
server_status=$?
set -e
trap - EXIT

# The browser's count, plus one check of our own: a clean exit after SIGTERM.
browser_counts "$work/browser.log"
if [ $server_status -eq 0 ]; then
  echo "ok - the server stops cleanly on SIGTERM"
  passed=$((passed + 1))
else
  echo "not ok - the server exited with status $server_status after SIGTERM:"
  cat "$work/server.log"
  failed=$((failed + 1))
fi
echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
