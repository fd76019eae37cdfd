#!/usr/bin/env bash
# Log-on throttle under attack ([APP] LogonFailures=5, the default), each on a
# fresh server: 40 simultaneous wrong log-ons for one name from one address
# (how many reach the database; at most 5 should), and 8 rounds of four wrong
# guesses (a new name each) plus one log-on with an account of the attacker's
# own (how many guesses reach the database; at most the address's ceiling,
# 20, in the minute should).
#   bench/http/run_logon_burst.sh [build-dir]
# BURST: attempts at once (default 40). OLD_QVWEB: another qvweb binary
# measured the same way first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
burst=${BURST:-40}

"$root/scripts/install-deps.sh" bench
build_targets "$build" qvweb qvdemo

qvweb_scratch "$build"
"$build/qvdemo" --db "$work/demo.fdb" --properties 50 --quiet
binaries=("$work/qvweb")
labels=(this)
if [ -n "${OLD_QVWEB:-}" ]; then
  cp "$OLD_QVWEB" "$work/qvweb.old"
  binaries=("$work/qvweb.old" "$work/qvweb")
  labels=(old this)
fi

start_server() {  # binary
  port=$(free_port)
  scratch_ini "$port" Workers=64
  # The database attached before the attack: the first check is not slower.
  start_qvweb "$port" "$1" || exit 1
}

for index in "${!binaries[@]}"; do
  start_server "${binaries[$index]}"
  printf '%-5s %s simultaneous wrong log-ons, one name, one address: ' "${labels[$index]}" "$burst"
  python3 "$root/bench/http/logon_burst.py" "$port" burst "$burst"
  stop_qvweb
  start_server "${binaries[$index]}"
  printf '%-5s 8 x (4 wrong guesses + own account) from one address: ' "${labels[$index]}"
  python3 "$root/bench/http/logon_burst.py" "$port" own-account 8
  stop_qvweb
done
