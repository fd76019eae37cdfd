#!/usr/bin/env bash
# Browser test: copies the built server beside a fresh demo database, starts it,
# walks every page in headless Chromium (tests/e2e/browser_test.mjs), then stops
# the server with SIGTERM and expects a clean exit.
# Usage: tests/e2e/run.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
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
port=$(node -e 'const s=require("net").createServer().listen(0,"127.0.0.1",()=>{console.log(s.address().port);s.close();});')
cat > "$work/qvweb.ini" <<INI
[APP]
Port=$port
HtDocs=$work/htdocs
LoginTimeout=10
ReadTimeout=60
[DB]
DBName=$work/qvmain.fdb
User=SYSDBA
INI

(cd "$work" && exec ./qvweb) >"$work/server.log" 2>&1 &
server=$!
stop_server() {
  if kill -0 "$server" 2>/dev/null; then kill -TERM "$server"; fi
  wait "$server"
}
trap 'kill -TERM "$server" 2>/dev/null || true' EXIT

ready=0
for _ in $(seq 1 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then ready=1; break; fi
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ $ready -ne 1 ]; then
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
summary=$(grep -E '^browser: [0-9]+ passed, [0-9]+ failed' "$work/browser.log" | tail -n 1 || true)
passed=$(sed -E 's/^browser: ([0-9]+) passed.*/\1/' <<<"${summary:-browser: 0 passed}")
failed=$(sed -E 's/^browser: [0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"${summary:-browser: 0 passed, 1 failed}")
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
