#!/usr/bin/env bash
# Builds the request fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer), apart from the main build, and runs it for a
# bounded time, or a number of executions when FUZZ_RUNS is set. Exits
# non-zero when the fuzzer finds a crash.
#   tests/http/run_fuzz.sh [build-dir]     (default build/fuzz; FUZZ_SECONDS, default 60; FUZZ_RUNS)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mkdir -p "${1:-$root/build/fuzz}" && cd "${1:-$root/build/fuzz}" && pwd)
seconds=${FUZZ_SECONDS:-60}
runs=${FUZZ_RUNS:-}
binary="$out/http_request_fuzz"
sources=("$root"/src/http/*.cpp "$root"/src/sessions/*.cpp "$root"/src/platform/*.cpp
         "$root/tests/http/fuzz/request_fuzz.cpp")

# Rebuild only when a source or header is newer than the binary.
if [ ! -x "$binary" ] || [ -n "$(find "$root/src/http" "$root/src/sessions" "$root/src/platform" \
    "$root/tests/http/fuzz" -newer "$binary" -type f -print -quit)" ]; then
  echo "building $binary"
  clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" "${sources[@]}" -pthread -lssl -lcrypto -o "$binary"
fi

mkdir -p "$out/corpus" "$out/artifacts"
cp -n "$root"/tests/http/fuzz/corpus/* "$out/corpus/" 2>/dev/null || true
if [ -n "$runs" ]; then
  echo "fuzzing for $runs executions"
  bound=(-runs="$runs")
else
  echo "fuzzing for ${seconds}s"
  bound=(-max_total_time="$seconds")
fi
"$binary" "${bound[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$out/artifacts/" "$out/corpus" 2>"$out/fuzz.log" || {
  status=$?
  tail -n 60 "$out/fuzz.log"
  echo "fuzzing found a failure (exit $status); see $out/artifacts" >&2
  exit 1
}
grep -E '^(stat::number_of_executed_units|Done)' "$out/fuzz.log" || true
echo "fuzzing passed"
