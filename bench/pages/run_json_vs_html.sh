#!/usr/bin/env bash
# Each data page through the real server as a visitor reaches it, as HTML and
# as JSON in the same run: qvweb (KeepAlive=1) on a demo database, logged on
# with a session cookie, wrk on one kept connection a page at a time, the two
# forms in turn for ROUNDS rounds. Prints per page the median requests per
# second and qvweb's CPU microseconds per answer (utime+stime from /proc) of
# each form, and the JSON/HTML ratio of the CPU.
#   bench/pages/run_json_vs_html.sh [build-dir]
#     (DURATION seconds per wrk run, default 3; ROUNDS, default 3; PAGES_DB a
#      demo database made by qvdemo, default the page benches' 100,000
#      properties)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
. "$root/bench/pages/pages_db.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
duration=${DURATION:-3}
rounds=${ROUNDS:-3}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo
if [ -n "${PAGES_DB:-}" ]; then db=$PAGES_DB; else make_pages_db "$build" 50; db=$pages_db; fi
propid=$(pages_db_number "$db" "SELECT FIRST 1 PROPERTY_ID FROM VIOLATIONS GROUP BY PROPERTY_ID
                                ORDER BY COUNT(*) DESC, PROPERTY_ID")
vid=$(pages_db_number "$db" "SELECT FIRST 1 VIOLATION_ID FROM VIOLATORS GROUP BY VIOLATION_ID
                             ORDER BY COUNT(*) DESC, VIOLATION_ID")

qvweb_scratch "$build"
port=$(free_port)
demo_ini "$port" "$work/htdocs" "$db" | sed '/^\[APP\]/a KeepAlive=1' > "$work/qvweb.ini"
printf '[LOG]\nAccessLog=off\n' >> "$work/qvweb.ini"
start_qvweb "$port"
base="http://127.0.0.1:$port"
cookie=$(logon_cookie "$base")
[ -n "$cookie" ] || { echo "log-on failed: no session cookie" >&2; exit 1; }

pages=(/ /list propinfo people access notes cpted auth violations vdetail)
target() {  # page
  case $1 in
    /|/list) echo "$base$1" ;;
    vdetail) echo "$base/vdetail?VID=$vid" ;;
    *) echo "$base/$1?PROPID=$propid" ;;
  esac
}
json="Accept: application/json"
for page in "${pages[@]}"; do
  type=$(curl -s -o /dev/null -w '%{http_code} %{content_type}' -H "Cookie: IDHTTPSESSIONID=$cookie" \
    -H "$json" "$(target "$page")")
  [ "$type" = "200 application/json; charset=utf-8" ] ||
    { echo "$page: JSON asked, got $type" >&2; exit 1; }
done

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
echo "qvweb on $(basename "$db"), one kept connection, ${duration} s a run, medians of $rounds rounds"
printf '%-11s %10s %8s | %10s %8s | %s\n' page "html req/s" "cpu us" "json req/s" "cpu us" "json/html cpu"
for page in "${pages[@]}"; do
  : > "$work/html"; : > "$work/json"
  for _ in $(seq "$rounds"); do
    wrk_cpu "$server_pid" "$work/wrk.txt" -t1 -c1 -d"${duration}s" \
      -H "Cookie: IDHTTPSESSIONID=$cookie" "$(target "$page")" >> "$work/html"
    wrk_cpu "$server_pid" "$work/wrk.txt" -t1 -c1 -d"${duration}s" \
      -H "Cookie: IDHTTPSESSIONID=$cookie" -H "$json" "$(target "$page")" >> "$work/json"
  done
  hr=$(cut -d' ' -f1 "$work/html" | median); hc=$(cut -d' ' -f2 "$work/html" | median)
  jr=$(cut -d' ' -f1 "$work/json" | median); jc=$(cut -d' ' -f2 "$work/json" | median)
  printf '%-11s %10s %8s | %10s %8s | %.2fx\n' "$page" "$hr" "$hc" "$jr" "$jc" \
    "$(awk -v j="$jc" -v h="$hc" 'BEGIN {print j / h}')"
done
