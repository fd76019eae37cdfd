#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# unit and integration tests (ctest), the request-parser fuzzer for a short
# bounded time, the end-to-end browser test, an HTTPS walk with curl, the
# browser walk through a load balancer in front of two servers sharing their
# sessions in Redis, and the Debian package built, installed, run and purged
# (as root; one package test at a time on a machine, another waits).
# Ends with one verdict line of its own: the parts that passed and failed
# and the time taken, then "test-all: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build"
started=$SECONDS

passed=()
failed=()
# Runs one part; its result goes into the verdict.
part() {  # name command...
  local name=$1; shift
  echo "=== test-all: $name"
  if "$@"; then passed+=("$name"); else failed+=("$name"); fi
}
verdict() {
  echo
  echo "test-all: passed: ${passed[*]:-none}; failed: ${failed[*]:-none}; $((SECONDS - started)) s"
  echo "test-all: ${#passed[@]} passed, ${#failed[@]} failed"
  [ ${#failed[@]} -eq 0 ]
}

# The compiler cache takes paths below the checkout as relative ones, so
# that a checkout elsewhere (another clone, a worktree) finds earlier work.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
build_all() {
  scripts/install-deps.sh test &&
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQV_BUILD_TESTS=ON -DQV_REQUIRE_TESTS=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
      -DCMAKE_C_COMPILER_LAUNCHER=ccache &&
    ninja -C "$build" -j2
}
part build build_all
if [ ${#failed[@]} -gt 0 ]; then
  verdict
  exit 1
fi

part ctest ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
for runner in tests/http/run_fuzz.sh:fuzz:"$build/fuzz" tests/e2e/run.sh:e2e:"$build" \
              tests/api/run.sh:api:"$build" \
              tests/tls/run.sh:tls:"$build" tests/scaleout/run.sh:scaleout:"$build" \
              tests/package/run.sh:package:"$build"; do
  IFS=: read -r script name folder <<<"$runner"
  [ -x "$script" ] && part "$name" "$script" "$folder"
done
verdict
