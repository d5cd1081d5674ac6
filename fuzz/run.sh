#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 and runs each one from its seed
# corpus for SECONDS seconds (default 120). A crash, leak, timeout or
# sanitizer report fails the run and prints the input that caused it. New
# inputs go to a scratch directory; the committed corpus is left as it is.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-120}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
"$root/scripts/deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DKVSET_FUZZ=ON -DKVSET_WERROR=ON \
  -DKVSET_BUILD_TESTS=OFF -DKVSET_BUILD_EXAMPLES=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target kvset_memory_fuzzer kvset_file_fuzzer kvset_json_fuzzer

status=0
for name in memory file json; do
  work=$(mktemp -d)
  mkdir -p "$work/new" "$work/artifacts"
  echo "fuzzing $name for ${seconds}s"
  if ! "$build/fuzz/kvset_${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$work/artifacts/" "$work/new" "$root/fuzz/corpora/$name" \
      >"$work/log" 2>&1; then
    status=1
    echo "FAILED: the $name fuzzer reported a problem"
    tail -n 80 "$work/log"
    for input in "$work"/artifacts/*; do
      [ -f "$input" ] || continue
      echo "input $(basename "$input") ($(stat -c %s "$input") bytes):"
      od -A x -t x1z -v "$input" | head -n 128
    done
  fi
  grep -E 'stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$work/log" \
    | sed "s/^/$name: /" || true
  rm -rf "$work"
done
exit $status
