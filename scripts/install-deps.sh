#!/usr/bin/env bash
# Installs the Debian packages a purpose needs; safe to run again (apt-get
# runs only when something is missing).
#   scripts/install-deps.sh server   build and run qvweb and the demo
#   scripts/install-deps.sh test     the above, plus what the tests need
#   scripts/install-deps.sh bench    the above, plus the load tools
#   scripts/install-deps.sh package  server, plus what builds and checks the
#                                    Debian package
# Without a purpose: test (which includes package). The old switch --bench
# means bench.
set -euo pipefail
purpose=${1:-test}
[ "$purpose" = "--bench" ] && purpose=bench
case "$purpose" in server|test|bench|package) ;; *)
  echo "usage: $0 [server|test|bench|package]" >&2; exit 2 ;;
esac

# The compiler, the build tools, and the Firebird client and embedded engine.
packages=(
  cmake ninja-build g++
  libfbclient2 firebird3.0-server-core firebird-dev
  libssl-dev
)
if [ "$purpose" != server ]; then
  # Building the Debian package, checking it, and what its scripts call.
  packages+=(debhelper dpkg-dev fakeroot lintian adduser logrotate)
fi
if [ "$purpose" != server ] && [ "$purpose" != package ]; then
  # Test libraries, the private Firebird server of the database tests, the
  # fuzzer's compiler, the browser of the end-to-end test, and Redis and
  # HAProxy for the shared-session and scale-out tests, openssl for test
  # certificates, and a compiler cache for the test command's builds.
  packages+=(
    pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
    firebird3.0-utils firebird3.0-server
    clang libclang-rt-14-dev
    chromium
    redis-server haproxy curl
    openssl
    ccache
  )
  # Node.js and npm usually come with the machine; take Debian's only when absent.
  command -v node >/dev/null 2>&1 || packages+=(nodejs)
  command -v npm >/dev/null 2>&1 || packages+=(npm)
fi
if [ "$purpose" = bench ]; then packages+=(wrk nginx-light python3); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q "${missing[@]}"
fi
