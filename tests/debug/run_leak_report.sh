#!/usr/bin/env bash
# The leak report at unload: what KVSET_LEAK_REPORT=1 prints for a program
# that leaks two sets (one holding a nested set, which is not listed on its
# own), and that nothing is printed without it or without leaks.
#   tests/debug/run_leak_report.sh PROGRAM
set -euo pipefail
program=$1
fail() { echo "leak report: $*" >&2; exit 1; }

expected='kvset: 2 sets still registered at exit
kvset:   set 1: 2 pairs: MakeCall_LineDevice, 0x00000007
kvset:   set 2: 1 pair: MakeCall_CPA'
got=$(KVSET_LEAK_REPORT=1 "$program" leak 2>&1 >/dev/null)
[ "$got" = "$expected" ] || fail "with two leaks, got:
$got"

for run in "leak:" "clean:KVSET_LEAK_REPORT=1" "leak:KVSET_LEAK_REPORT=0" "clean:"; do
  mode=${run%%:*}
  setting=${run#*:}
  got=$(env -u KVSET_LEAK_REPORT $setting "$program" "$mode" 2>&1 >/dev/null)
  [ -z "$got" ] || fail "$mode run with '${setting:-no variable}' printed: $got"
done
echo "leak report: ok"
