#!/usr/bin/env bash
# Builds the suite in Release and runs it, writing the raw results as JSON and
# the tables of ratios against the baselines measured in the same run.
#   bench/run.sh [min_time_seconds] [output_dir] [repetitions]
# Repetitions run interleaved in random order, so a slow moment of the machine
# falls on different cases in each round; ratios.py reports medians and spread.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
min_time=${1:-0.2}
out=${2:-$root/build-bench/results}
repetitions=${3:-5}
build=${BENCH_BUILD_DIR:-$root/build-bench}
"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DKVSET_BUILD_EXAMPLES=OFF -DKVSET_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target kvset_bench -j "$(nproc)" >/dev/null
mkdir -p "$out"
# The file cases write into a temporary directory of their own.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && "$build/bench/kvset_bench" --benchmark_min_time="$min_time" \
  --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
  ${KVSET_BENCH_FILTER:+--benchmark_filter="$KVSET_BENCH_FILTER"} \
  --benchmark_out="$out/bench.json" --benchmark_out_format=json >"$out/bench.txt")
python3 "$root/bench/ratios.py" "$out/bench.json" | tee "$out/ratios.md"
