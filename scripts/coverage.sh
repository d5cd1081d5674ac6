#!/usr/bin/env bash
# Line and branch coverage of src/ by the test suite (unit tests, C API test,
# corpus replays), with clang's source-based coverage. No threshold: it
# prints the per-file report and the totals, and writes an HTML report to
# $COVERAGE_BUILD_DIR/html.
#   scripts/coverage.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${COVERAGE_BUILD_DIR:-$root/build-coverage}
flags="-fprofile-instr-generate -fcoverage-mapping"
"$root/scripts/deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKVSET_BUILD_BENCHMARKS=OFF -DKVSET_BUILD_EXAMPLES=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" -DCMAKE_SHARED_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
# Every instrumented program writes its profile where this script says, never
# a default.profraw in the current directory: the build runs the test
# executables too (test discovery), into a folder the report leaves out.
export LLVM_PROFILE_FILE="$build/discovery-profiles/%p.profraw"
cmake --build "$build" -j 2
rm -rf "$build/profiles"
mkdir -p "$build/profiles"
LLVM_PROFILE_FILE="$build/profiles/%p.profraw" \
  ctest --test-dir "$build" -j 2 -E 'install_consumer|exported_symbols' >/dev/null ||
  echo "warning: some tests failed; the coverage is of what ran" >&2
llvm-profdata-14 merge -sparse "$build"/profiles/*.profraw -o "$build/merged.profdata"
objects=("$build/tests/kvset_unit_tests")
for binary in "$build"/fuzz/kvset_*_replay "$build/tests/kvset_c_api_test" "$build"/src/libkvset.so; do
  [ -e "$binary" ] && objects+=(-object "$binary")
done
llvm-cov-14 report -show-region-summary=false -instr-profile="$build/merged.profdata" "${objects[@]}" "$root/src"
llvm-cov-14 show -format=html -output-dir="$build/html" -instr-profile="$build/merged.profdata" \
  "${objects[@]}" "$root/src" >/dev/null
echo "HTML report: $build/html/index.html"
