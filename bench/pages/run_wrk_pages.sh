#!/usr/bin/env bash
# Requests per second of four pages served by qvweb over HTTP on loopback
# (wrk, 50 connections, logged on), each against its cost floor: the rate of
# the page's statements run straight through the database layer on five
# connections at once, as many as the server's pool holds, on the same machine
# and in the same run. Also shows the whole page built in memory on five
# connections, which tells the page text's share from the HTTP share, the logo
# served the same way (a request with no database work), and the CPU time per
# page of the server and of the in-process runs, which a busy machine disturbs
# less than the rates.
# Pages: the main menu, the first property-list page, the People page of a
# property with 50 entities and the detail page of the violation with the most
# violators, on the large demo database (100,000 properties), made under
# BUILD/bench/ when absent.
#   bench/pages/run_wrk_pages.sh [build-dir]
#     (default build; DURATION seconds per wrk run, default 10; FLOOR_TIME
#      seconds per in-process measurement, default 3; ROUNDS, default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-10}
floor_time=${FLOOR_TIME:-3}
rounds=${ROUNDS:-3}
entities=50

"$root/scripts/install-deps.sh" bench

build_targets "$build" qvweb qvdemo qv_bench_pages

# The large database, with one property given 50 entities of two phones each.
. "$root/bench/pages/pages_db.sh"
make_pages_db "$build" "$entities"
db=$pages_db
query() { pages_db_number "$db" "$1"; }
propid=$(query "SELECT FIRST 1 PROPERTY_ID FROM ENTITY GROUP BY PROPERTY_ID
                ORDER BY COUNT(*) DESC, PROPERTY_ID")
people=$(query "SELECT COUNT(*) FROM ENTITY WHERE PROPERTY_ID = $propid")
vid=$(query "SELECT FIRST 1 VIOLATION_ID FROM VIOLATORS GROUP BY VIOLATION_ID
             ORDER BY COUNT(*) DESC, VIOLATION_ID")
violators=$(query "SELECT COUNT(*) FROM VIOLATORS WHERE VIOLATION_ID = $vid")
properties=$(query "SELECT COUNT(*) FROM PROPERTY")

# The server runs from a folder of its own, with its own settings beside it.
qvweb_scratch "$build"
# The embedded engine gives a database file to one process at a time: the
# in-process runs use a copy, so the server can stay up between them.
cp "$db" "$work/floor.fdb"
port=$(free_port)
demo_ini "$port" "$work/htdocs" "$db" > "$work/qvweb.ini"
(cd "$work" && exec ./qvweb) > "$work/qvweb.log" 2>&1 &
server_pid=$!
base="http://127.0.0.1:$port"
wait_port "$port" "$server_pid" || true

# Log on; the session is bound to 127.0.0.1, where wrk comes from as well.
cookie=$(logon_cookie "$base")
if [ -z "$cookie" ]; then
  echo "log-on failed: no session cookie" >&2
  exit 1
fi

names=(MainMenu PropertyList People ViolationDetail)
declare -A url=(
  [MainMenu]="$base/"
  [PropertyList]="$base/list"
  [People]="$base/people?PROPID=$propid"
  [ViolationDetail]="$base/vdetail?VID=$vid"
  [Logo]="$base/image/qv_logo_jpg.jpg"
)
# A text each page shows only when logged on and filled from the database.
declare -A mark=(
  [MainMenu]="/LOGOFF"
  [PropertyList]="propinfo?PROPID="
  [People]="Tenant $(printf %02d "$entities")"
  [ViolationDetail]="Date Of Birth"
)
declare -A bytes
for name in "${names[@]}"; do
  curl -s -H "Cookie: IDHTTPSESSIONID=$cookie" "${url[$name]}" > "$work/$name.html"
  bytes[$name]=$(wc -c < "$work/$name.html")
  if ! grep -qi -- "${mark[$name]}" "$work/$name.html"; then
    echo "$name: ${url[$name]} did not give the logged-on page (no \"${mark[$name]}\"):" >&2
    head -c 600 "$work/$name.html" >&2
    echo >&2
    exit 1
  fi
done
# The logo: the server's answer with no database work, its cost per request alone.
curl -s "${url[Logo]}" | cmp -s - "$root/assets/qv_logo_jpg.jpg" ||
  { echo "Logo: ${url[Logo]} did not give the logo" >&2; exit 1; }

wrk_rate() {  # name seconds -> "requests/s server-CPU-us/request"
  wrk_cpu "$server_pid" "$work/$1.wrk" -t2 -c50 -d"$2s" -H "Connection: close" \
    -H "Cookie: IDHTTPSESSIONID=$cookie" "${url[$1]}"
  grep -E 'Socket errors|Non-2xx' "$work/$1.wrk" | sed "s/^/$1: /" >&2 || true
}
in_process_rates() {  # name -> "floor in-memory" pages/s, then their CPU us/page
  QV_BENCH_DB="$work/floor.fdb" QV_BENCH_PROPID="$propid" QV_BENCH_VID="$vid" \
    "$build/qv_bench_pages" --benchmark_filter="^(FloorRate|InMemoryPageRate)/$1/" \
    --benchmark_min_time="$floor_time" --benchmark_format=json \
    > "$work/$1.json" 2> "$work/$1.err" || { cat "$work/$1.err" >&2; exit 1; }
  python3 - "$work/$1.json" <<'PY'
import json, sys
runs = {b["name"].split("/")[0]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
floor, memory = runs["FloorRate"], runs["InMemoryPageRate"]
print(f'{floor["items_per_second"]:.1f} {memory["items_per_second"]:.1f} '
      f'{floor["cpu_time"]:.1f} {memory["cpu_time"]:.1f}')
PY
}

# Each page over HTTP and then in process, in turn, for some rounds, so that
# each ratio compares runs close in time on this shared machine.
wrk_rate MainMenu 2 > /dev/null  # every pooled session attached before measuring
: > "$work/rates"
for round in $(seq "$rounds"); do
  logo=$(wrk_rate Logo "$duration")
  echo "Logo $(wc -c < "$root/assets/qv_logo_jpg.jpg") $logo" >> "$work/rates"
  echo "round $round: $(tail -n 1 "$work/rates")" >&2
  for name in "${names[@]}"; do
    http=$(wrk_rate "$name" "$duration")
    in_process=$(in_process_rates "$name")
    echo "$name ${bytes[$name]} $http $in_process" >> "$work/rates"
    echo "round $round: $(tail -n 1 "$work/rates")" >&2
  done
done

echo "qvweb over HTTP: wrk -t2 -c50 -d${duration}s -H 'Connection: close' (logged on), $properties properties"
echo "floor: the page's statements alone; in memory: the whole page built in memory;"
echo "  both on 5 threads with a connection each, ${floor_time}s each; medians of $rounds rounds"
echo "People: property $propid ($people entities); ViolationDetail: violation $vid ($violators violators)"
python3 - "$work/rates" "${names[@]}" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
size = {r[0]: r[1] for r in rows}
def runs(name):
    return [[float(v) for v in r[2:]] for r in rows if r[0] == name]
def medians(name):
    return [statistics.median(c) for c in zip(*runs(name))]
logo, logo_cpu = medians("Logo")
print(f'\nPages per second\n{"page":<16} {"bytes":>6} {"http":>9} {"floor":>9} {"in-memory":>9} '
      f'{"http/floor":>10} {"(rounds)":>11}')
print(f'{"Logo (no db)":<16} {size["Logo"]:>6} {logo:>9.1f}')
for name in sys.argv[2:]:
    http, _, floor, memory, _, _ = medians(name)
    ratios = [r[0] / r[2] for r in runs(name)]
    print(f"{name:<16} {size[name]:>6} {http:>9.1f} {floor:>9.1f} {memory:>9.1f} "
          f"{http / floor:>10.2f} {min(ratios):>5.2f}-{max(ratios):<5.2f}")
print(f'\nCPU microseconds per page (server: the qvweb process alone, wrk not counted)\n'
      f'{"page":<16} {"server":>9} {"floor":>9} {"in-memory":>9} {"floor/server":>12}')
print(f'{"Logo (no db)":<16} {logo_cpu:>9.1f}')
for name in sys.argv[2:]:
    _, server, _, _, floor, memory = medians(name)
    print(f"{name:<16} {server:>9.1f} {floor:>9.1f} {memory:>9.1f} {floor / server:>12.2f}")
PY
