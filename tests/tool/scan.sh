#!/usr/bin/env bash
# kvset scan over captures built here with blocks at known offsets: raw bytes,
# a pcap with a buffer split across two packets (reported truncated), and the
# same pcap as hex text (plain stream, xxd, od -An -tx1); extraction, JSON,
# and hex text that is refused with its line number.
#   scan.sh KVSET DATA_DIR WORK_DIR
set -uo pipefail
kvset=$1 data=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAILED: $1"; echo "--- expected"; echo "$2"; echo "--- got"; echo "$3"
    failures=$((failures + 1))
  fi
}
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
# One pcap record: 16-byte header, 42 bytes of link, IP and UDP headers, the payload.
packet() { local n=$(($(wc -c <"$1") + 42)); le32 1700000000; le32 0; le32 $n; le32 $n; head -c 42 /dev/zero; cat "$1"; }

# Raw: a buffer at 100, a file block at 1325.
{ head -c 100 /dev/zero; cat "$data/every_type.kvs"; printf 'JUNKJUN'; cat "$data/every_type.file.kvs"; printf 'tail'; } >raw.bin
check "raw scan" "raw.bin: offset 100 (0x64): memory buffer, 1218 bytes, 39 pairs: valid
raw.bin: offset 1325 (0x52D): file block, 1204 bytes, 39 pairs: valid" "$("$kvset" scan raw.bin)"

# pcap: packet 1 holds a whole buffer (at 82) and the first 600 bytes of
# another (at 236), packet 2 its rest, packet 3 a file block (at 1570).
head -c 600 "$data/every_type.kvs" >first.part
tail -c +601 "$data/every_type.kvs" >second.part
cat "$data/nested.frame.kvs" first.part >packet1
{ le32 $((0xa1b2c3d4)); printf '\x02\x00\x04\x00'; le32 0; le32 0; le32 65535; le32 1
  packet packet1; packet second.part; packet "$data/surrogate.file.kvs"; } >capture.pcap
pcap_scan=$("$kvset" scan capture.pcap)
check "pcap scan" "capture.pcap: offset 82 (0x52): memory buffer, 154 bytes, 3 pairs: valid
capture.pcap: offset 236 (0xEC): memory buffer, 1218 bytes, 39 pairs: truncated (memory buffer: offset 1450 (0x5AA): no frame trailer where the frame ends)
capture.pcap: offset 1327 (0x52F): memory block, 107 bytes, 2 pairs: valid
capture.pcap: offset 1450 (0x5AA): file block, 37 bytes, 1 pair: valid
capture.pcap: offset 1491 (0x5D3): file block, 17 bytes, 0 pairs: valid
capture.pcap: offset 1570 (0x622): file block, 49 bytes, 1 pair: valid" "$pcap_scan"

# The same bytes as hex text give the same candidates.
xxd capture.pcap >capture.xxd
od -An -tx1 -v capture.pcap >capture.od
xxd -p capture.pcap >capture.hex
for f in capture.xxd capture.od capture.hex; do
  check "hex scan of $f" "${pcap_scan//capture.pcap/$f}" "$("$kvset" scan --hex "$f")"
done

# Extraction: each candidate in its own file, the valid ones validate.
"$kvset" scan --extract blocks raw.bin >/dev/null
check "extracted" "blocks/raw.bin-100.kvs: ok (memory buffer, 1218 bytes, 43 records)
blocks/raw.bin-1325.kvsf: ok (file block, 1204 bytes, 43 records)" "$("$kvset" validate blocks/raw.bin-100.kvs blocks/raw.bin-1325.kvsf)"
check "extracted bytes" "" "$(cmp blocks/raw.bin-100.kvs "$data/every_type.kvs")"

# JSON: one object a candidate, with its set.
json=$("$kvset" scan --json capture.pcap)
check "json lines" 6 "$(echo "$json" | wc -l)"
check "json of the first" '{"file": "capture.pcap", "offset": 82, "variant": "memory buffer", "length": 154, "pairs": 3, "verdict": "valid", "set": [' \
  "$(echo "$json" | head -1 | cut -c1-122)"

# Nothing found, bad hex text.
printf 'no blocks here' >plain.txt
check "none" "plain.txt: no KV-Set blocks" "$("$kvset" scan plain.txt)"
"$kvset" scan plain.txt >/dev/null; check "none exits 1" 1 $?
printf 'da a1\nzz\n' >bad.hex
printf '00 00\n*\n' >folded.hex
printf 'abc' >odd.hex
for row in "bad.hex|kvset: 'bad.hex' line 2: 'z' is not a hex digit" \
           "folded.hex|kvset: 'folded.hex' line 2: '*' stands for repeated lines that od folded (dump with od -v)" \
           "odd.hex|kvset: 'odd.hex' line 1: a byte of one hex digit"; do
  f=${row%%|*}
  err=$("$kvset" scan --hex "$f" 2>&1 >/dev/null); code=$?
  check "bad hex $f" "1 ${row#*|}" "$code $err"
done
exit $((failures != 0))
