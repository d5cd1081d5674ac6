#!/usr/bin/env bash
# The main job: build the library and its kvset tool, then run `kvset demo`:
# make-call options written as a memory buffer and as a file, read back,
# compared and shown. Extra arguments go to the demo (a directory for its files).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
"${BUILD_DIR:-$root/build}/tools/kvset" demo "$@"
