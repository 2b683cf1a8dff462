#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing.
set -euo pipefail
pkgs=(cmake ninja-build ccache g++ g++-multilib libgtest-dev libgmock-dev googletest
      libbenchmark-dev libboost-dev libicu-dev perl python3 procps clang libclang-rt-14-dev util-linux)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
