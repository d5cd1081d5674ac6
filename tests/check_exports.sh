#!/usr/bin/env bash
# Compares the names libkvset.so exports with the committed list, so that no
# internal helper leaks out and no API name goes missing.
set -euo pipefail
lib=$1
expected=$2
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | c++filt | grep -v '^_init$\|^_fini$' | sort -u)
if ! diff -u <(grep -v '^#' "$expected" | sed '/^$/d' | sort -u) <(echo "$actual"); then
  echo "exported names differ from $expected (- expected, + actual)" >&2
  exit 1
fi
echo "exported names match: $(echo "$actual" | wc -l) names"
