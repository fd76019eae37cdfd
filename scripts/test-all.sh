#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# unit and integration tests (ctest), the request-parser fuzzer for a short
# bounded time, the end-to-end browser test, an HTTPS walk with curl, the
# browser walk through a load balancer in front of two servers sharing their
# sessions in Redis, and the Debian package built, installed, run and purged
# (as root).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build"

scripts/install-deps.sh test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_BUILD_TESTS=ON -DQV_REQUIRE_TESTS=ON
ninja -C "$build"

status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 || status=1

if [ -x tests/http/run_fuzz.sh ]; then
  tests/http/run_fuzz.sh "$build/fuzz" || status=1
fi
if [ -x tests/e2e/run.sh ]; then
  tests/e2e/run.sh "$build" || status=1
fi
if [ -x tests/tls/run.sh ]; then
  tests/tls/run.sh "$build" || status=1
fi
if [ -x tests/scaleout/run.sh ]; then
  tests/scaleout/run.sh "$build" || status=1
fi
if [ -x tests/package/run.sh ]; then
  tests/package/run.sh "$build" || status=1
fi
exit $status
