#!/usr/bin/env bash
# The main job: build the library and run the example program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
"${BUILD_DIR:-$root/build}/examples/walk_kvset"
