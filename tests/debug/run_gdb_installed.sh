#!/usr/bin/env bash
# The GDB extension as installed: `cmake --install` into a temporary prefix
# puts it in the prefix's GDB auto-load tree under the library's absolute
# path, and GDB, told about that tree and trusting the prefix, loads it with
# the installed libkvset.so of a program built against the installation.
# The installed libraries lose their debug information first, as a Release
# build or a distribution's package has none: the extension reads the
# library's layout description from its symbol table instead.
# Exits 77 (skipped) only when the system forbids ptrace.
#   tests/debug/run_gdb_installed.sh BUILD_DIR WORK_DIR
set -euo pipefail
unset LD_LIBRARY_PATH
build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "installed gdb extension: $*" >&2; exit 1; }
command -v gdb >/dev/null || fail "gdb is not installed (scripts/deps.sh installs it)"

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
library=$(find "$prefix" -name 'libkvset.so.*.*.*' ! -name '*.py' -type f)
[ -n "$library" ] || fail "no libkvset.so.<version> installed"
libdir=$(dirname "$library")
script=$prefix/share/gdb/auto-load$libdir/$(basename "$library")-gdb.py
[ -f "$script" ] || fail "no auto-load script at $script"

for lib in "$libdir"/lib*.so.*.*.*; do
  case $lib in *.py) ;; *) objcopy --strip-debug "$lib" ;; esac
done
if readelf -S "$library" | grep -q '\.debug_info'; then fail "the installed library kept its debug information"; fi

cc -std=c99 -Wall -Werror -I"$prefix/include" "$here/leak_program.c" -L"$libdir" -Wl,-rpath,"$libdir" -lkvset \
  -o "$work/program"
# Stopped at the first destroy: sets 1 and 2 built, 3 about to go, 4 the
# copy of 3 held by 2.
gdb -batch -nx -iex "add-auto-load-scripts-directory $prefix/share/gdb/auto-load" \
  -iex "add-auto-load-safe-path $prefix" \
  -ex 'break CTkvs_Destroy' -ex 'run' -ex 'info auto-load python-scripts' \
  -ex 'echo ==list\n' -ex 'kvs list' -ex 'echo ==show\n' -ex 'kvs show 2' -ex 'echo ==end\n' -ex kill \
  --args "$work/program" leak >"$work/gdb.txt" 2>&1 || true
if grep -qE 'ptrace: Operation not permitted|Could not trace the inferior|not permitted to trace' "$work/gdb.txt"; then
  echo "installed gdb extension: ptrace is not permitted here; skipped"
  exit 77
fi
grep -qE "^Yes +$script" "$work/gdb.txt" || { cat "$work/gdb.txt"; fail "GDB did not auto-load $script"; }
expected='==list
4 sets registered
  set 1: 2 pairs: MakeCall_LineDevice, 0x00000007
  set 2: 1 pair: MakeCall_CPA
  set 3: 1 pair: 0x00000009
  set 4 (nested): 1 pair: 0x00000009
==show
set 2, 1 pair
  MakeCall_CPA (CTkvs_ct): set 4, 1 pair
    0x00000009 (CTint): 9
==end'
got=$(sed -n '/^==list$/,/^==end$/p' "$work/gdb.txt")
[ "$got" = "$expected" ] || { cat "$work/gdb.txt"; fail "unexpected output"; }
echo "installed gdb extension: ok"
