#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the tools need,
# when any of them is missing. Run as root (or with sudo available).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libace-dev libgtest-dev libgmock-dev
          libbenchmark-dev libmsgpack-cxx-dev nlohmann-json3-dev libcli11-dev
          clang-14 libclang-rt-14-dev valgrind help2man python3-dev pybind11-dev python3-pytest
          gdb xxd)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
