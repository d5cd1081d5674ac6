#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 and runs all of them at once
# from their seed corpora for SECONDS seconds of wall time (default 600), so
# both cores stay busy. A crash, leak, timeout (10 s), allocation over 64 MB
# or sanitizer report fails the run and prints the input that caused it.
# New inputs go to a scratch directory; the committed corpus is left as it
# is. Prints the executions each target reached.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
"$root/scripts/deps.sh"
names=()
for source in "$root"/fuzz/*_fuzzer.cc; do
  name=$(basename "$source" _fuzzer.cc)
  names+=("$name")
done
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DKVSET_FUZZ=ON -DKVSET_WERROR=ON \
  -DBUILD_TESTING=OFF -DKVSET_BUILD_EXAMPLES=OFF -DKVSET_BUILD_BENCHMARKS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for name in "${names[@]}"; do targets+=(--target "kvset_${name}_fuzzer"); done
cmake --build "$build" -j 2 "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
declare -A pids
for name in "${names[@]}"; do
  mkdir -p "$work/$name/new" "$work/$name/artifacts"
  corpus="$root/fuzz/corpora/$name"
  [ -d "$corpus" ] || corpus=""
  "$build/fuzz/kvset_${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -malloc_limit_mb=64 -rss_limit_mb=2048 -artifact_prefix="$work/$name/artifacts/" \
    "$work/$name/new" $corpus >"$work/$name/log" 2>&1 &
  pids[$name]=$!
done
echo "fuzzing ${names[*]} together for ${seconds}s"

status=0
for name in "${names[@]}"; do
  if ! wait "${pids[$name]}"; then
    status=1
    echo "FAILED: the $name fuzzer reported a problem"
    tail -n 80 "$work/$name/log"
    for input in "$work/$name"/artifacts/*; do
      [ -f "$input" ] || continue
      echo "input $(basename "$input") ($(stat -c %s "$input") bytes):"
      od -A x -t x1z -v "$input" | head -n 128
    done
  fi
  grep -E 'stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$work/$name/log" \
    | sed "s/^/$name: /" || true
done
exit $status
