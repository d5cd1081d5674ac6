#!/usr/bin/env bash
# Bad input for the kvset tool: usage errors (exit 2), bad blocks and bad JSON,
# input past the size limit and output that cannot be written (exit 1), each
# with the one line it must print.
#   errors.sh KVSET DATA_DIR WORK_DIR
set -uo pipefail
kvset=$1 data=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
cp "$data/every_type.kvs" good.kvs
cp "$data/every_type.file.kvs" good.file.kvs
head -c 600 good.kvs >cut.kvs
: >empty.kvs
{ cat good.file.kvs; printf 'X'; } >trailing.file.kvs
# The width byte of the first string record (offset 25 + 12).
{ head -c 37 good.kvs; printf '\x07'; tail -c +39 good.kvs; } >width.kvs
printf '[{"key": 1, "type": "CTint", "value": 1},]' >syntax.json
printf '[{"key": 1, "type": "CTnope", "value": 1}]' >type.json
printf '[{"key": 1, "type": "CTint[]", "value": [1, 2147483648]}]' >range.json
printf '[{"key": 1, "type": "CTkvs_ct[]", "value": [null]}]' >empty_element.json
mkdir -p folder

failures=0
# row EXIT STREAM TEXT ARGS...: STREAM is out or err, TEXT the whole of it.
row() {
  local want_exit=$1 stream=$2 want=$3
  shift 3
  local out err got
  out=$("$kvset" "$@" 2>err.txt)
  got=$?
  err=$(cat err.txt)
  local text=$out
  [ "$stream" = err ] && text=$err
  if [ "$got" -ne "$want_exit" ] || [ "$text" != "$want" ]; then
    echo "FAILED: kvset $*"
    echo "  exit $got (expected $want_exit)"
    echo "  standard $stream: $text"
    echo "  expected:        $want"
    failures=$((failures + 1))
  fi
  if [ "$stream" = out ] && [ "$want_exit" -ne 1 ] && [ -n "$err" ]; then
    echo "FAILED: kvset $*: unexpected standard error: $err"
    failures=$((failures + 1))
  fi
}

# Usage errors.
row 2 err "kvset: A subcommand is required (see 'kvset --help')"
row 2 err "kvset: unknown command 'frob' (see 'kvset --help')" frob good.kvs
row 2 err "kvset: FILE is required (see 'kvset show --help')" show
row 2 err "kvset: --format: tape not in {auto,memory,file} (see 'kvset show --help')" show --format tape good.kvs
row 2 err "kvset: --to is required (see 'kvset convert --help')" convert good.kvs -o out.kvs
row 2 err "kvset: --output is required (see 'kvset build --help')" build type.json
row 2 err "kvset: The following argument was not expected: extra (see 'kvset diff --help')" diff good.kvs good.kvs extra

# Files that cannot be read, blocks that are not valid.
row 1 err "kvset: cannot read 'missing.kvs': No such file or directory" show missing.kvs
row 1 err "kvset: cannot read 'folder': it is a directory" json folder
row 1 err "kvset: 'cut.kvs' is not a valid KV-Set block: memory buffer: offset 4 (0x4): frame length 1218 but the buffer holds 600 bytes" show --strict cut.kvs
row 1 err "kvset: 'empty.kvs' is not a valid KV-Set block: file block: offset 0 (0x0): block cut short before its marker" json --strict empty.kvs
row 1 err "kvset: 'width.kvs' is not a valid KV-Set block: memory buffer: offset 37 (0x25), record 0 (MakeCall_LineDevice): string width byte 7 (4 expected)" show --strict width.kvs
row 1 err "kvset: 'trailing.file.kvs' is not a valid KV-Set block: file block: offset 1204 (0x4B4): 1 byte after the end of the block" diff good.file.kvs trailing.file.kvs
row 1 out "good.kvs: ok (memory buffer, 1218 bytes, 43 records)
width.kvs: memory buffer: offset 37 (0x25), record 0 (MakeCall_LineDevice): string width byte 7 (4 expected)
good.file.kvs: ok (file block, 1204 bytes, 43 records)" validate good.kvs width.kvs good.file.kvs
row 1 err "kvset: 'good.file.kvs' is not a valid KV-Set block: memory block: offset 29 (0x1D), record 0 (MakeCall_LineDevice): string width byte 9 (4 expected)" show --strict --format memory good.file.kvs

# Lenient reading: the pairs before a fault, then the fault; slices of a file.
row 1 out "empty.kvs: file block, 0 bytes, 0 records, 0 pairs" show empty.kvs
row 1 err "kvset: 'empty.kvs': file block: offset 0 (0x0): block cut short before its marker" json empty.kvs
row 0 out "good.kvs: ok (memory block, 1206 bytes, 43 records)" validate --offset 8 --length 1206 good.kvs
row 1 out "good.kvs: memory block: offset 1214 (0x4BE): 4 bytes after the end of the block" validate --offset 8 --format memory good.kvs
row 1 err "kvset: --offset 5000 is past the end of 'good.kvs' (1218 bytes)" show --offset 5000 good.kvs
row 1 err "kvset: --length 2000 runs past the end of 'good.kvs' (1210 bytes from offset 8)" json --offset 8 --length 2000 good.kvs
row 2 err "kvset: Could not convert: --offset = x (see 'kvset show --help')" show --offset x good.kvs

# JSON that is refused, and a set that has no memory form.
row 1 err "kvset: 'syntax.json': \$: JSON parse error at line 1, column 42: syntax error while parsing value - unexpected ']'; expected '[', '{', or a literal" build syntax.json -o out.kvs
row 1 err "kvset: 'type.json': \$[0].type: unknown type name \"CTnope\"" build type.json -o out.kvs
row 1 err "kvset: 'range.json': \$[0].value[1]: integer out of range: expected -2147483648 to 2147483647" build range.json -o out.kvs
row 1 err "kvset: cannot encode the KV-Set as a memory buffer: CT_errorNoResource (a KV-Set array with an empty element has no memory form)" build empty_element.json -o out.kvs
row 1 err "kvset: cannot encode the KV-Set as a memory buffer: CT_errorNoResource (a KV-Set array with an empty element has no memory form)" convert good.file.kvs --to memory -o out.kvs

# JSON that gives a member twice, and input echoed in a message: cut after 60 characters.
printf '[{"key": 1, "type": "CTint", "type": "CTuint", "value": 1}]' >twice.json
long=$(printf '%0100000d' 0 | tr 0 n)
printf '[{"key": 1, "type": "CTint", "value": 1, "%s": 2}]' "$long" >long_member.json
cut="$(printf '%060d' 0 | tr 0 n)..."
row 1 err "kvset: 'twice.json': \$[0]: duplicate member \"type\"" build twice.json -o out.kvs
row 1 err "kvset: 'long_member.json': \$[0]: unexpected member \"$cut\" (a pair holds key, type and value)" build long_member.json -o out.kvs
row 1 err "kvset: cannot read '$cut': No such file or directory" show "${long:0:200}"
row 2 err "kvset: unknown command '$cut' (see 'kvset --help')" "$long"
[ -e out.kvs ] && { echo "FAILED: a refused build or convert left out.kvs behind"; failures=$((failures + 1)); }

# Input is read up to a limit (the largest block, 4 GiB - 1 bytes) and refused
# past it, from a pipe as from a file. The test lowers the limit to the size
# of good.kvs, which is then still read.
limit=$(wc -c <good.kvs)
over="kvset: cannot read standard input: more than $limit bytes (the largest KV-Set block)"
export KVSET_TEST_INPUT_LIMIT=$limit
for command in "show -" "validate -" "json -" "build - -o out.kvs" "diff good.kvs -" "convert - --to file -o out.kvs"; do
  # shellcheck disable=SC2086
  row 1 err "$over" $command < <(head -c $((limit + 1)) /dev/zero)
done
row 1 err "kvset: cannot read '/dev/zero': more than $limit bytes (the largest KV-Set block)" show /dev/zero
row 0 out "-: ok (memory buffer, $limit bytes, 43 records)" validate - < <(cat good.kvs)
unset KVSET_TEST_INPUT_LIMIT

# Output that cannot be written fails every command with one line, whether
# the write fails while the command runs or only when output is flushed.
{ printf '['; for i in $(seq 1 2000); do printf '{"key": %d, "type": "CTint", "value": %d},' "$i" "$i"; done
  printf '{"key": 0, "type": "CTint", "value": 0}]'; } >many.json
"$kvset" build many.json -o many.kvs || failures=$((failures + 1))
lost() {
  local got err
  "$kvset" "$@" >/dev/full 2>err.txt
  got=$?
  err=$(cat err.txt)
  if [ "$got" -ne 1 ] || [ "$err" != "kvset: cannot write standard output" ]; then
    echo "FAILED: kvset $* >/dev/full"
    echo "  exit $got (expected 1), standard error: $err"
    failures=$((failures + 1))
  fi
}
lost show good.kvs
lost show many.kvs
lost validate good.kvs good.file.kvs
lost json many.kvs
lost build many.json -o -
lost diff good.kvs many.kvs
lost convert good.kvs --to file -o -
lost convert good.kvs --to file -o converted.kvs
lost demo demo
lost show --help

# Every command explains itself.
for cmd in show validate json build diff convert demo; do
  help=$("$kvset" "$cmd" --help 2>&1)
  [ $? -eq 0 ] && grep -q "^Usage: kvset $cmd" <<<"$help" || { echo "FAILED: kvset $cmd --help"; failures=$((failures + 1)); }
done

[ "$failures" -eq 0 ] && echo "all rows passed"
exit $((failures > 0))
