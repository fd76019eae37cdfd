#!/usr/bin/env bash
# The log-on throttle ([APP] LogonFailures=5, the default) against its cases:
# first on a simulated clock (qv_logon_throttle_bench: the office, the
# stranger, and the guesses at one name an attacker gets checked in an hour
# from one address, from 65,536 addresses of one /64, from 65,536 /64s and
# from more /64s than the throttle can remember), then over HTTP against a
# real qvweb behind a trusted proxy (the office, the stranger for
# STRANGER_SECONDS, default 30, and 20 guesses from one /64).
#   bench/web/run_logon_throttle.sh [build-dir]
# RATE: the attacker's attempts a second in the simulation (default 1000).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)

build_targets "$build" qv_logon_throttle_bench qvweb qvdemo
echo "== simulated clock"
"$build/bench/web/qv_logon_throttle_bench" "${RATE:-1000}"

echo "== over HTTP, a real server"
qvweb_scratch "$build"
"$build/qvdemo" --db "$work/demo.fdb" --properties 20 --quiet
start_server() {
  port=$(free_port)
  scratch_ini "$port" TrustedProxies=127.0.0.1
  start_qvweb "$port" || exit 1
}
for case in office "stranger ${STRANGER_SECONDS:-30}" "slash64 20"; do
  start_server
  # shellcheck disable=SC2086
  python3 "$root/bench/web/logon_cases.py" "$port" $case
  stop_qvweb
done
