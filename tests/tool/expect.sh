#!/usr/bin/env bash
# Runs the kvset tool once and checks its exit code, its standard output
# (against a golden file, or "-" to skip) and its standard error (against an
# exact line, "" for none, "@FILE" for a golden file, or "-" to skip).
#   expect.sh KVSET EXIT STDOUT_FILE STDERR_LINE ARGS...
set -uo pipefail
kvset=$1 want_exit=$2 want_out=$3 want_err=$4
shift 4
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$kvset" "$@" >"$out" 2>"$err"
got=$?
status=0
if [ "$got" -ne "$want_exit" ]; then
  echo "kvset $*: exit $got, expected $want_exit"; status=1
fi
if [ "$want_out" != "-" ] && ! diff -u "$want_out" "$out"; then
  echo "kvset $*: standard output differs from $want_out"; status=1
fi
if [ "${want_err:0:1}" = "@" ]; then
  if ! diff -u "${want_err:1}" "$err"; then echo "kvset $*: standard error differs from ${want_err:1}"; status=1; fi
elif [ "$want_err" != "-" ] && [ "$(cat "$err")" != "$want_err" ]; then
  echo "kvset $*: standard error was:"; cat "$err"; echo "expected:"; echo "$want_err"; status=1
fi
exit $status
