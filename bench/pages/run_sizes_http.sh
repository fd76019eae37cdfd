#!/usr/bin/env bash
# What a visitor waits for on demo databases of real sizes: the tabs, the
# violation detail and the property list's pages (first, ten Next steps from
# page 1, a jump to the middle, each search kind's first page and its Next
# steps) through the real server, logged on with a session cookie, timed by
# curl (median milliseconds of the requests of each kind), one visitor. The
# in-process figures of run_sizes.sh, run on the same databases, tell where
# the time goes.
#   bench/pages/run_sizes_http.sh [folder] [build-dir]
#     (default folder /work/bigdb, its qv-N.gdb made by run_sizes.sh; SIZES,
#      default "200000 1000000"; REPEAT requests of a tab, default 21)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
. "$root/bench/pages/pages_db.sh"
folder=${1:-/work/bigdb}
build=$(mkdir -p "${2:-$root/build}" && cd "${2:-$root/build}" && pwd)
repeat=${REPEAT:-21}

build_targets "$build" qvweb
qvweb_scratch "$build"
median() { sort -n | awk '{v[NR] = $1} END {printf "%.2f", v[int((NR + 1) / 2)]}'; }
# Milliseconds of one request on the visitor's session.
get_ms() {  # url
  curl -s -o /dev/null -w '%{time_total}\n' -H "Cookie: IDHTTPSESSIONID=$cookie" "$1" |
    awk '{printf "%.3f\n", $1 * 1000}'
}
# The first page of a search, then its Next steps 2..11 (the visitor's own
# sequence, as the links take it); prints "first next-median".
walk() {  # query (without page)
  local first next=()
  first=$(get_ms "$base/list?$1")
  for p in $(seq 2 11); do next+=("$(get_ms "$base/list?$1&page=$p")"); done
  echo "$first $(printf '%s\n' "${next[@]}" | median)"
}

for n in ${SIZES:-200000 1000000}; do
  db="$folder/qv-$n.gdb"
  [ -f "$db" ] || { echo "$db is missing: make it with bench/pages/run_sizes.sh" >&2; exit 1; }
  propid=$(pages_db_number "$db" "SELECT FIRST 1 PROPERTY_ID FROM VIOLATIONS GROUP BY PROPERTY_ID
                                  ORDER BY COUNT(*) DESC, PROPERTY_ID")
  vid=$(pages_db_number "$db" "SELECT FIRST 1 VIOLATION_ID FROM VIOLATIONS WHERE PROPERTY_ID = $propid")
  # The rows the list shows: properties with their primary address and an area.
  listed=$(pages_db_number "$db" "SELECT COUNT(*) FROM PROPERTY P JOIN PROP_ADDRESS A
                                  ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)
                                  JOIN AREA AR ON (AR.AREA_ID = P.AREA_ID)")
  port=$(free_port)
  scratch_ini "$port"
  sed -i "s|^DBName=.*|DBName=$db|" "$work/qvweb.ini"
  start_qvweb "$port"
  base="http://127.0.0.1:$port"
  cookie=$(logon_cookie "$base")
  [ -n "$cookie" ] || { echo "log-on failed: no session cookie" >&2; exit 1; }
  echo "== $(basename "$db"): $listed listed properties; median ms per answer over HTTP"
  for tab in propinfo people access notes cpted auth violations; do
    for _ in $(seq "$repeat"); do get_ms "$base/$tab?PROPID=$propid"; done |
      median | xargs printf '  %-34s %s\n' "$tab"
  done
  for _ in $(seq "$repeat"); do get_ms "$base/vdetail?VID=$vid"; done |
    median | xargs printf '  %-34s %s\n' vdetail
  read -r first next <<<"$(walk "AreaName=")"
  printf '  %-34s %s\n' "list first" "$first" "list Next (pages 2-11)" "$next"
  # A jump: a page number typed or kept, by a visitor who has no bookmark near it.
  for jump in "middle $((listed / 20))" "last $(((listed + 9) / 10))"; do
    read -r label page <<<"$jump"
    cookie=$(logon_cookie "$base")
    printf '  %-34s %s\n' "list $label, jump" "$(get_ms "$base/list?AreaName=&page=$page")"
  done
  for search in "name SearchValue=harbor&PropName=a" "area AreaName=Riverside" \
                "address SearchValue=Harbor&Address=a"; do
    read -r label query <<<"$search"
    read -r first next <<<"$(walk "$query")"
    printf '  %-34s %s\n' "$label first" "$first" "$label Next (pages 2-11)" "$next"
  done
  stop_qvweb
done
