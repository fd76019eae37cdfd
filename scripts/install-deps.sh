#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libfbclient2 firebird3.0-server-core firebird3.0-utils firebird-dev firebird3.0-server
  clang libclang-rt-14-dev
  chromium
  redis-server haproxy curl
)
# Node.js and npm usually come with the machine; take Debian's only when absent.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [ "${1:-}" = "--bench" ]; then packages+=(wrk nginx-light); fi
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
