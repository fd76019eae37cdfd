#!/usr/bin/env bash
# Each page of qvweb against nginx serving the same bytes from a file, in one
# run on this machine: the main menu, the first property-list page and the
# People page of a property with 50 entities, logged on, plus the logo (no
# database work). Every page is measured with "Connection: close" and with
# keep-alive (the server runs with KeepAlive=1; a visitor asking for close
# still gets its connection closed), qvweb and nginx in turn, as a ratio.
# Then the server's CPU per page (utime+stime of the qvweb process from /proc
# over the pages answered) at wrk 1, 2, 5 and 50 connections, "Connection:
# close", and each figure's ratio to the one at 1 connection.
# The database is the large demo database of run_wrk_pages.sh (or the demo
# database PAGES_DB names, e.g. /work/bigdb/qv-200000.gdb), opened with the
# embedded engine, or with ENGINE=server through a private Firebird server on
# loopback (ServerMode SERVER_MODE, default Super); then the CPU per page is
# that of qvweb and the Firebird server together.
#   bench/pages/run_pages_vs_nginx.sh [build-dir]
#     (default build; DURATION seconds per wrk run, default 5; ROUNDS of the
#      nginx comparison, default 2, medians and ranges shown; ENGINE embedded
#      or server; SERVER_MODE Super or SuperClassic; PAGES_DB a demo database
#      made by qvdemo to use instead)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
. "$root/bench/pages/pages_db.sh"
. "$root/bench/pages/firebird_server.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-5}
rounds=${ROUNDS:-2}
engine=${ENGINE:-embedded}
case "$engine" in embedded|server) ;; *) echo "ENGINE is embedded or server" >&2; exit 2;; esac
entities=50

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo qv_firebird_server
if [ -n "${PAGES_DB:-}" ]; then
  db=$PAGES_DB
else
  make_pages_db "$build" "$entities"
  db=$pages_db
fi
propid=$(pages_db_number "$db" "SELECT FIRST 1 PROPERTY_ID FROM ENTITY GROUP BY PROPERTY_ID
                                ORDER BY COUNT(*) DESC, PROPERTY_ID")
people=$(pages_db_number "$db" "SELECT COUNT(*) FROM ENTITY WHERE PROPERTY_ID = $propid")
middle=$(( $(pages_db_number "$db" "SELECT COUNT(*) FROM PROPERTY") / 20 ))

qvweb_scratch "$build"
fb_helper=""
fb_pid=""
ng_pid=""
trap 'stop_pid "$ng_pid"; stop_qvweb; [ -z "$fb_helper" ] || stop_pid "$fb_helper"; rm -rf "$work"' EXIT
port=$(free_port)
dbname=$db
if [ "$engine" = server ]; then
  start_firebird_server "$build" "${SERVER_MODE:-Super}"
  cp "$db" "$fb_folder/pages.fdb"
  dbname="127.0.0.1/$fb_port:$fb_folder/pages.fdb"
fi
demo_ini "$port" "$work/htdocs" "$dbname" | sed '/^\[APP\]/a KeepAlive=1' > "$work/qvweb.ini"
[ "$engine" = embedded ] || echo "Pass=$fb_password" >> "$work/qvweb.ini"
(cd "$work" && exec ./qvweb) > "$work/qvweb.log" 2>&1 &
server_pid=$!
base="http://127.0.0.1:$port"
wait_port "$port" "$server_pid" || { cat "$work/qvweb.log" >&2; exit 1; }
cookie=$(logon_cookie "$base")
[ -n "$cookie" ] || { echo "log-on failed: no session cookie" >&2; exit 1; }

names=(MainMenu PropertyList ListMiddle People Access Notes Logo)
# ListMiddle: a page in the middle of the list; after the first answer the
# visitor's bookmark for it is there, as after a Next.
declare -A url=(
  [MainMenu]="$base/"
  [PropertyList]="$base/list"
  [ListMiddle]="$base/list?page=$middle&AreaName="
  [People]="$base/people?PROPID=$propid"
  [Access]="$base/access?PROPID=$propid"
  [Notes]="$base/notes?PROPID=$propid"
  [Logo]="$base/image/qv_logo_jpg.jpg"
)
# A text each page shows only when logged on and filled from the database.
declare -A mark=(
  [MainMenu]="/LOGOFF"
  [PropertyList]="propinfo?PROPID="
  [ListMiddle]="propinfo?PROPID="
  [People]="Tenant $(printf %02d "$entities")"
  [Access]="Property Access"
  [Notes]="Property Notes"
)
[ -z "${PAGES_DB:-}" ] || mark[People]="Property People"
# nginx serves each answer's bytes, as qvweb gave them, from a file (its
# workers may run as another user).
chmod 755 "$work"
mkdir -p "$work/files"
locations=""
for name in "${names[@]}"; do
  curl -s -H "Cookie: IDHTTPSESSIONID=$cookie" "${url[$name]}" > "$work/files/$name"
  if [ "$name" = Logo ]; then
    cmp -s "$work/files/Logo" "$root/assets/qv_logo_jpg.jpg" ||
      { echo "Logo: ${url[Logo]} did not give the logo" >&2; exit 1; }
  elif ! grep -qi -- "${mark[$name]}" "$work/files/$name"; then
    echo "$name: ${url[$name]} did not give the logged-on page (no \"${mark[$name]}\")" >&2
    exit 1
  fi
  chmod 644 "$work/files/$name"
  locations+="location = /$name { alias $work/files/$name; }
    "
done
ng_port=$(free_port)
nginx_start "$work/nginx" "$ng_port" 65 "$locations"
for name in "${names[@]}"; do
  curl -s "http://127.0.0.1:$ng_port/$name" | cmp -s - "$work/files/$name" ||
    { echo "nginx did not give $name" >&2; exit 1; }
done

run() {  # out connections url [header] -> "requests/s qvweb-CPU-us/request"
  local out=$1 c=$2 target=$3; shift 3
  wrk_cpu "$server_pid $fb_pid" "$work/$out.wrk" -t"$((c < 2 ? c : 2))" -c"$c" -d"${duration}s" \
    -H "Cookie: IDHTTPSESSIONID=$cookie" "$@" "$target"
  grep -E 'Socket errors|Non-2xx' "$work/$out.wrk" | sed "s/^/$out: /" >&2 || true
}

run MainMenu 50 "${url[MainMenu]}" > /dev/null  # every pooled session attached first
: > "$work/rates"
for round in $(seq "$rounds"); do
  for name in "${names[@]}"; do
    for mode in close keep; do
      header=(); [ "$mode" = close ] && header=(-H "Connection: close")
      qv=$(run "$name-$mode" 50 "${url[$name]}" "${header[@]}")
      ng=$(run "ng-$name-$mode" 50 "http://127.0.0.1:$ng_port/$name" "${header[@]}")
      echo "$name $mode ${qv%% *} ${ng%% *}" >> "$work/rates"
      echo "round $round: $(tail -n 1 "$work/rates")" >&2
    done
  done
done
: > "$work/cpu"
for name in MainMenu PropertyList ListMiddle People Access Notes; do
  for c in 1 2 5 50; do
    echo "$name $c $(run "$name-c$c" "$c" "${url[$name]}" -H "Connection: close")" >> "$work/cpu"
    echo "cpu: $(tail -n 1 "$work/cpu")" >&2
  done
done

[ "$engine" = embedded ] && echo "Embedded engine." ||
  echo "Firebird server on loopback (ServerMode ${SERVER_MODE:-Super}); CPU is qvweb's and the server's."
echo "qvweb (KeepAlive=1, pool of 5) and nginx serving the same bytes from files, in turn,"
echo "wrk -t2 -c50 -d${duration}s, logged on; medians of $rounds rounds (range of the ratio)"
echo "People: property $propid ($people entities). A shared, busy machine: figures are noisy."
python3 - "$work/rates" "$work/cpu" "$work/files" <<'PY'
import os, statistics, sys
rates = [l.split() for l in open(sys.argv[1])]
print(f'\n{"answer":<14} {"bytes":>6} | {"close: qvweb":>12} {"nginx":>9} {"ratio":>15} | '
      f'{"keep-alive: qvweb":>17} {"nginx":>9} {"ratio":>15}')
for name in dict.fromkeys(r[0] for r in rates):
    cells = []
    for mode in ("close", "keep"):
        runs = [(float(r[2]), float(r[3])) for r in rates if r[0] == name and r[1] == mode]
        qv = statistics.median(q for q, _ in runs)
        ng = statistics.median(n for _, n in runs)
        ratios = [q / n for q, n in runs]
        cells.append(f'{qv:>{12 if mode == "close" else 17}.0f} {ng:>9.0f} '
                     f'{qv / ng:>5.2f}x ({min(ratios):.2f}-{max(ratios):.2f})')
    size = os.path.getsize(os.path.join(sys.argv[3], name))
    print(f'{name:<14} {size:>6} | {cells[0]} | {cells[1]}')
cpu = [l.split() for l in open(sys.argv[2])]
print('\nqvweb CPU microseconds per page (pages/s) by wrk connections, "Connection: close";'
      '\nthe ratio is to the CPU per page at 1 connection')
print(f'{"page":<14} ' + ' '.join(f'{"c=" + c:>22}' for c in ("1", "2", "5", "50")))
for name in dict.fromkeys(r[0] for r in cpu):
    rows = {r[1]: (float(r[2]), float(r[3])) for r in cpu if r[0] == name}
    one = rows["1"][1]
    print(f'{name:<14} ' + ' '.join(
        f'{us:>7.0f} ({rate:>6.0f}) {us / one:>4.2f}x' for rate, us in
        (rows[c] for c in ("1", "2", "5", "50"))))
PY
