#!/usr/bin/env bash
# Installs the built library into a temporary prefix, then builds and runs a
# consumer through find_package(kvset CONFIG) and another through pkg-config.
set -euo pipefail
build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$here/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$(dirname "$(find "$work/prefix" -name "libkvset.so" )"):${LD_LIBRARY_PATH:-}" "$work/consumer/consumer"
PKG_CONFIG_PATH="$(dirname "$(find "$work/prefix" -name kvset.pc)")" \
  c++ -std=c++11 "$here/consumer/consumer.cc" $(PKG_CONFIG_PATH="$(dirname "$(find "$work/prefix" -name kvset.pc)")" pkg-config --cflags --libs kvset) -o "$work/pc-consumer"
LD_LIBRARY_PATH="$(dirname "$(find "$work/prefix" -name "libkvset.so" )"):${LD_LIBRARY_PATH:-}" "$work/pc-consumer"
# The tool is installed with the library and finds it on its own.
if [ -x "$work/prefix/bin/kvset" ]; then
  "$work/prefix/bin/kvset" demo "$work/demo" >/dev/null
fi
echo "install consumer: ok"
