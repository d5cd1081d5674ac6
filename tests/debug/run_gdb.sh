#!/usr/bin/env bash
# The GDB extension in batch mode, on a live process stopped at a breakpoint
# and on a core file dumped there with gcore. The extension is auto-loaded
# from beside the library (as installed, or in the build tree), never sourced
# by hand. Exits 77 (skipped) only when the system forbids ptrace.
#   tests/debug/run_gdb.sh PROGRAM SAFE_PATH WORK_DIR
set -euo pipefail
program=$1
safe_path=$2
work=$3
fail() { echo "gdb extension: $*" >&2; exit 1; }
command -v gdb >/dev/null || fail "gdb is not installed (scripts/deps.sh installs it)"

rm -rf "$work"
mkdir -p "$work"
core=$work/target.core
run_gdb() { gdb -batch -nx -iex "add-auto-load-safe-path $safe_path" "$@" 2>&1; }

run_gdb -ex 'break kvs_debug_stop' -ex run \
  -ex 'echo ==list\n' -ex 'kvs list' \
  -ex 'echo ==show\n' -ex 'kvs show 1' \
  -ex 'echo ==object\n' -ex 'up' -ex 'print object' \
  -ex 'echo ==options\n' -ex 'print options' \
  -ex 'echo ==end\n' -ex "gcore $core" -ex kill \
  --args "$program" >"$work/live.txt" || true
if grep -qE 'ptrace: Operation not permitted|Could not trace the inferior|Cannot attach|not permitted to trace' "$work/live.txt"; then
  echo "gdb extension: ptrace is not permitted here; skipped"
  exit 77
fi
grep -q '^Breakpoint 1, kvs_debug_stop' "$work/live.txt" || { cat "$work/live.txt"; fail "the live session did not stop at the breakpoint"; }
[ -s "$core" ] || { cat "$work/live.txt"; fail "gcore wrote no core file"; }

run_gdb -ex 'echo ==list\n' -ex 'kvs list' -ex 'echo ==show\n' -ex 'kvs show 1' -ex 'echo ==end\n' \
  "$program" "$core" >"$work/core.txt"

section() { sed -n "/^==$2\$/,/^==/p" "$1" | sed '1d;$d'; }
for f in live core; do
  section "$work/$f.txt" list >"$work/$f.list"
  section "$work/$f.txt" show >"$work/$f.show"
done
# The core shows exactly what the live process showed.
diff -u "$work/live.list" "$work/core.list" || fail "kvs list differs between the process and its core"
diff -u "$work/live.show" "$work/core.show" || fail "kvs show differs between the process and its core"

expect() {  # FILE LINE...: every line is in the file, as a whole line
  local file=$1; shift
  for line in "$@"; do
    grep -qxF -- "$line" "$file" || { cat "$file"; fail "missing in $(basename "$file"): $line"; }
  done
}
expect "$work/live.list" \
  '  set 1: 36 pairs: 0x00000100, 0x00000101, 0x00000102, 0x00000103, ...' \
  '  set 2: 1 pair: 0x00000007' \
  '  set 3: 1 pair: 0x00000008' \
  '  set 8: 2 pairs: 0x00000011, MakeCall_LineDevice'
grep -qE '^  set [0-9]+ \(nested\): 1 pair: 0x00000007$' "$work/live.list" || fail "no nested copy in kvs list"
# One line of every shape, the symbol names, and the nesting.
expect "$work/live.show" \
  'set 1, 36 pairs' \
  '  0x00000100 (CTbool): 1' \
  '  0x00000103 (CTint): -15' \
  '  0x00000108 (CTsymbol): CT_errorOK' \
  '  0x0000010A (CTuint): 4294967295' \
  "  0x0000010C (CTchar): '☺' U+263A" \
  '  0x0000010F (CTirange): [-60, 60]' \
  '  0x00000110 (CTkvs_ct): set 4, 1 pair' \
  '    0x00000007 (CTstring): "deep ☺ 😀"' \
  '  0x00000111 (CTstring): "string 𐍈"' \
  '  0x00000112 (CTstring): null' \
  '  0x00000114 (Byte[]): 007fff (3 bytes)' \
  '  0x00000117 (CTint[]): [-1, 0, 106]' \
  '  0x00000118 (CTirange[]): [[-1, 1], [107, 108]]' \
  '  0x0000011D (CTstring[]): ["a", null, "", "😀"]' \
  '  0x0000011E (CTsymbol[]): [0x00000001, 0x00000000, 0xFFFFFFFF]' \
  '  0x00000122 (CTtime[]): []' \
  '  0x00000123 (CTkvs_ct[]): 3 elements' \
  '    [1]: set 6, 1 pair' \
  '      0x00000008 (CTint): -8'
sed -n '/^==object/,/^==end/p' "$work/live.txt" >"$work/printers.txt"
expect "$work/printers.txt" \
  '$1 = KVSet set 8, 2 pairs (owning) = {[0x00000011] = 42, [MakeCall_LineDevice] = "line 1"}'
grep -q 'options = KVSet set 9, 7 pairs (owning)' "$work/printers.txt" || { cat "$work/printers.txt"; fail "no options printed"; }
grep -q 'MakeCall_LineDevice\] = "dxxxB1C1"' "$work/printers.txt" || { cat "$work/printers.txt"; fail "no line device printed"; }
echo "gdb extension: ok"
