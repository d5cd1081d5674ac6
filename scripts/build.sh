#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default: build) with warnings as
# errors. Extra arguments go to cmake's configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DKVSET_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
