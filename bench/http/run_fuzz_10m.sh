#!/usr/bin/env bash
# The request fuzz target (a connection through the front's steps: framing,
# parsing, sessions, handler, answer writing) for 10 million executions, with
# AddressSanitizer and UndefinedBehaviorSanitizer. Not part of the test run.
#   bench/http/run_fuzz_10m.sh [build-dir]   (default build; RUNS, default 10000000)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
start=$(date +%s)
FUZZ_RUNS=${RUNS:-10000000} "$root/tests/http/run_fuzz.sh" "$build/fuzz-runs"
echo "took $(( $(date +%s) - start )) s"
