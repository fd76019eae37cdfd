#!/usr/bin/env bash
# Builds the Debian package quorvale-web from this checkout and leaves the
# .deb (with the build's .buildinfo, .changes and log, build.log) in OUT_FOLDER.
#   scripts/build-deb.sh [OUT_FOLDER]     (default: build/deb)
# Installs the build tools when they are missing (scripts/install-deps.sh
# package). The checkout itself is not written to: the build runs in a copy.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-$root/build/deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)

scripts/install-deps.sh package

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
cmake_version=$(sed -n 's/^project(quorvale VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$cmake_version" ]; then
  echo "build-deb: debian/changelog says $version, CMakeLists.txt says $cmake_version" >&2
  exit 1
fi

# A copy at the same place every time, so that a compiler cache finds its
# earlier work (the source's path is part of what it compares). Only a copy
# this script made (it leaves a mark in it) is ever removed: the output
# folder is the caller's, and may hold a folder of that name of its own.
work="$out/quorvale-web-build"
mark="$work/.made-by-build-deb"
if [ -e "$work" ] && [ ! -f "$mark" ]; then
  echo "build-deb: $work is not a copy of this script's; move it away first" >&2
  exit 1
fi
rm -rf "$work"
mkdir -p "$work"
touch "$mark"
trap 'rm -rf "$work"' EXIT
source="$work/quorvale-web-$version"
mkdir -p "$source"
# The sources without build folders, local databases or installed modules.
# The output folder too, when it lies in the checkout.
tar -C "$root" --exclude='./build*' --exclude='./demo' --exclude='./.git' \
  --exclude="./${out#"$root"/}" --exclude='node_modules' --exclude='*.fdb' --exclude='*.gdb' \
  -cf - . | tar -C "$source" -xf -

# The debhelper build sets HOME anew: keep the compiler cache where it is.
if command -v ccache >/dev/null 2>&1; then
  CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
  export CCACHE_DIR
fi
DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
export DEB_BUILD_OPTIONS
(cd "$source" && dpkg-buildpackage -b -us -uc) > "$out/build.log" 2>&1 || {
  tail -n 60 "$out/build.log" >&2
  echo "build-deb: dpkg-buildpackage failed" >&2
  exit 1
}
cp "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes "$out"/
ls "$out"/quorvale-web_"$version"_*.deb
