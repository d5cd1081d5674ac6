#!/usr/bin/env bash
# Compiles every ```c block of the README as a whole C99 program, and every
# ```cpp block as a C++17 program (compiler from $CXX), under strict warnings,
# (and every ```python block with $KVSET_PYTHON, when set),
# links it with the library and runs it: the examples a reader copies must
# build and work as they stand.
# Usage: run_examples.sh README CC INCLUDE_DIRS LIBRARY WORK_DIR [DEPENDENCY_DIR...]
# (INCLUDE_DIRS separated by ':'; the dependency directories hold the
# libraries that LIBRARY itself needs.)
set -euo pipefail
readme=$1 cc=$2 includes=$3 library=$4 work=$5
shift 5
flags=()
IFS=: read -ra dirs <<<"$includes"
for dir in "${dirs[@]}"; do flags+=(-I"$dir"); done
library=$(realpath "$library")
links=(-Wl,-rpath,"$(dirname "$library")")
for dir in "$@"; do
  dir=$(realpath "$dir")
  links+=(-Wl,-rpath-link,"$dir" -Wl,-rpath,"$dir")
done

rm -rf "$work"
mkdir -p "$work"
awk -v dir="$work" '
  /^```c$/   { n++; file = sprintf("%s/example_%d.c", dir, n); inside = 1; next }
  /^```cpp$/ { n++; file = sprintf("%s/example_%d.cc", dir, n); inside = 1; next }
  /^```python$/ { n++; file = sprintf("%s/example_%d.py", dir, n); inside = 1; next }
  /^```/   { inside = 0; next }
  inside   { print > file }
' "$readme"

shopt -s nullglob
examples=("$work"/example_*.c "$work"/example_*.cc)
# Python blocks run where the module was built ($KVSET_PYTHON and $PYTHONPATH).
if [ -n "${KVSET_PYTHON:-}" ]; then
  for source in "$work"/example_*.py; do
    if ! (cd "$work" && "$KVSET_PYTHON" "$source" >"${source%.py}.out" 2>&1); then
      echo "FAIL: $(basename "$source") exits non-zero:" >&2
      cat "${source%.py}.out" >&2
      exit 1
    fi
  done
fi
if [ ${#examples[@]} -eq 0 ]; then
  echo "no C blocks found in $readme" >&2
  exit 1
fi

passed=0 failed=0
for source in "${examples[@]}"; do
  program=${source%.*}
  case $source in
    *.cc) compile=("${CXX:-c++}" -std=c++17) ;;
    *) compile=("$cc" -std=c99) ;;
  esac
  if ! "${compile[@]}" -pedantic -Wall -Wextra -Werror "${flags[@]}" "$source" "$library" "${links[@]}" \
       -o "$program"; then
    echo "FAIL: $(basename "$source") does not compile" >&2
    failed=$((failed + 1))
    continue
  fi
  if ! (cd "$work" && "$program" >"$program.out" 2>&1); then
    echo "FAIL: $(basename "$program") exits non-zero:" >&2
    cat "$program.out" >&2
    failed=$((failed + 1))
    continue
  fi
  passed=$((passed + 1))
done
echo "examples: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
