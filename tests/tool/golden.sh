#!/usr/bin/env bash
# Tool checks that take more than one run of kvset.
#   golden.sh KVSET DATA_DIR WORK_DIR CHECK
# build    every JSON source builds to its golden block, byte for byte
# convert  the golden blocks convert into each other's variant
# diff     two sets that differ in every kind give the golden difference list
# demo     the demo runs, and its files validate and agree
set -euo pipefail
kvset=$1 data=$2 work=$3 check=$4
rm -rf "$work" && mkdir -p "$work"
case $check in
build)
  "$kvset" build "$data/every_type.json" -o "$work/m.kvs"
  cmp "$data/every_type.kvs" "$work/m.kvs"
  "$kvset" build "$data/every_type.file.json" --format file -o "$work/f.kvs"
  cmp "$data/every_type.file.kvs" "$work/f.kvs"
  "$kvset" build - --format memory -o - <"$data/every_type.json" | cmp "$data/every_type.kvs" -
  ;;
convert)
  # The memory golden as a file block equals the file block of the same JSON.
  "$kvset" build "$data/every_type.json" --format file -o "$work/from_json.kvs"
  "$kvset" convert "$data/every_type.kvs" --to file -o "$work/converted.kvs" >/dev/null
  cmp "$work/from_json.kvs" "$work/converted.kvs"
  "$kvset" convert "$work/converted.kvs" --to memory -o - | cmp "$data/every_type.kvs" -
  # The other team's golden blocks: each variant converts into the other.
  for name in nested surrogate; do
    "$kvset" convert "$data/$name.frame.kvs" --to file -o - | cmp "$data/$name.file.kvs" -
    "$kvset" convert "$data/$name.file.kvs" --to memory -o - | cmp "$data/$name.frame.kvs" -
  done
  ;;
diff)
  "$kvset" build "$data/diff_a.json" -o "$work/a.kvs"
  "$kvset" build "$data/diff_b.json" --format file -o "$work/b.kvs"
  set +e
  "$kvset" diff "$work/a.kvs" "$work/b.kvs" >"$work/out.txt"
  status=$?
  set -e
  [ "$status" -eq 1 ] || { echo "diff exited $status, expected 1"; exit 1; }
  diff -u "$data/diff_a_b.txt" "$work/out.txt"
  [ "$("$kvset" diff "$work/a.kvs" "$work/a.kvs")" = "no differences" ]
  ;;
demo)
  "$kvset" demo "$work/demo" >"$work/out.txt"
  grep -q "Compared both with the original: 0 and 0 differences; MRQkvs_Compare says 0 and 0." "$work/out.txt"
  "$kvset" validate "$work/demo/options.kvs" "$work/demo/options.kvsf" >/dev/null
  [ "$("$kvset" diff "$work/demo/options.kvs" "$work/demo/options.kvsf")" = "no differences" ]
  # Its JSON builds back into the same memory buffer.
  "$kvset" json "$work/demo/options.kvs" | "$kvset" build - -o - | cmp "$work/demo/options.kvs" -
  ;;
*)
  echo "unknown check $check"; exit 2 ;;
esac
echo "$check: ok"
