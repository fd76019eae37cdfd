#!/usr/bin/env bash
# Runs the server on the demo database: installs what is missing, builds,
# creates demo/qvmain.fdb if absent, puts the logo in demo/htdocs, writes
# build/qvweb.ini if absent (port 8080), and starts build/qvweb in the
# foreground. Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/functions.sh
build="$root/build"
demo="$root/demo"

# Only what the server and the demo need: no test libraries, no browser.
scripts/install-deps.sh server
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 qvweb qvdemo

mkdir -p "$demo/htdocs"
if [ ! -f "$demo/qvmain.fdb" ]; then
  "$build/qvdemo" --db "$demo/qvmain.fdb"
fi
cp "$root/assets/qv_logo_jpg.jpg" "$demo/htdocs/qv_logo_jpg.jpg"

ini="$build/qvweb.ini"
if [ ! -f "$ini" ]; then
  demo_ini 8080 "$demo/htdocs" "$demo/qvmain.fdb" > "$ini"
fi

port=$(sed -n 's/^[[:space:]]*[Pp][Oo][Rr][Tt][[:space:]]*=[[:space:]]*\([0-9]*\).*/\1/p' "$ini" | head -n 1)
echo
echo "Quorvale Web Server: http://127.0.0.1:${port:-80}/ (loopback only)"
echo "Log on as demo / demo. Settings: $ini. Ctrl-C stops the server."
echo
exec "$build/qvweb"
