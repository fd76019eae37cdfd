#!/usr/bin/env bash
# Every page and search kind on demo databases of several sizes, one visitor,
# as one table: median milliseconds per page and the records the engine read
# for one run (build/qv_page_sizes). Then the floors the list and the address
# search are held against, measured in isql (SET STATS: elapsed seconds and
# page fetches, the median of three runs): walking the list's statement to a
# row in name order (the middle and the last row), and reading the address
# column once (CONTAINING over every address, a common and a rare fragment).
# The databases are made once with qvdemo (--properties N) in FOLDER as
# qv-N.gdb and kept; 1,000,000 properties take minutes to make.
#   bench/pages/run_sizes.sh [folder] [build-dir]
#     (default folder /work/bigdb; SIZES, default "5000 200000 1000000")
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
folder=$(mkdir -p "${1:-/work/bigdb}" && cd "${1:-/work/bigdb}" && pwd)
build=$(mkdir -p "${2:-$root/build}" && cd "${2:-$root/build}" && pwd)
sizes=${SIZES:-5000 200000 1000000}

build_targets "$build" qvdemo qv_page_sizes
databases=()
for n in $sizes; do
  db="$folder/qv-$n.gdb"
  if [ ! -f "$db" ]; then
    echo "making $db ($n properties)..." >&2
    rm -f "$db.new"
    "$build/qvdemo" --db "$db.new" --properties "$n" --quiet
    mv "$db.new" "$db"
  fi
  databases+=("$db")
done

"$build/qv_page_sizes" "${databases[@]}"

# The median elapsed seconds and fetches of a statement run three times.
floor() {  # db statement
  for _ in 1 2 3; do
    isql-fb -q -user SYSDBA "$1" <<SQL 2>&1 | awk '/^Elapsed time/ {e=$3} /^Fetches/ {f=$3} END {print e, f}'
SET STATS ON;
$2;
SQL
  done | sort -n | sed -n 2p
}

echo
echo "floors in isql: elapsed s (median of 3) and page fetches"
walk="FROM PROPERTY P JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)"
for db in "${databases[@]}"; do
  rows=$(isql-fb -q -user SYSDBA "$db" <<<"SET HEADING OFF; SELECT COUNT(*) $walk;" | awk 'NF {print $1; exit}')
  echo "$(basename "$db"): $rows listed properties"
  for at in $((rows / 2)) $((rows - 1)); do
    echo "  walk to row $at in name order: $(floor "$db" "SELECT FIRST 1 SKIP $at P.PROPERTY_ID $walk ORDER BY P.PROPERTY_NAME")"
  done
  for fragment in Harbor "9876 Harbor"; do
    echo "  address column once, CONTAINING '$fragment': $(floor "$db" "SELECT COUNT(*) FROM PROP_ADDRESS A WHERE A.PROP_ADDRESS1 CONTAINING '$fragment'")"
  done
done
