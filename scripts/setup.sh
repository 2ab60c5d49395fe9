#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and the
# German locale one test uses, then configures and builds.
#
#   scripts/setup.sh [BUILD_DIR [CMAKE_ARGUMENT...]] [--target TARGET...]
#
# BUILD_DIR defaults to build/. The CMake arguments go to the configure step;
# the targets after --target are built with what they need, and nothing else
# (without --target, everything). Run as root on a fresh Debian 12 machine.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libsqlite3-dev
  srecord clang libclang-rt-14-dev locales
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages need root: ${missing[*]}" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The error log's month names are tested under a German locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
  else
    echo "Locale de_DE.UTF-8 is missing (needs root); its test is skipped." >&2
  fi
fi

build_dir=build
if [ $# -gt 0 ] && [ "$1" != "--target" ]; then
  build_dir=$1
  shift
fi
cmake_args=()
while [ $# -gt 0 ] && [ "$1" != "--target" ]; do
  cmake_args+=("$1")
  shift
done
targets=()
if [ $# -gt 0 ]; then
  shift
  targets=(--target "$@")
fi
cmake -S . -B "$build_dir" -G Ninja "${cmake_args[@]}" >/dev/null
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
