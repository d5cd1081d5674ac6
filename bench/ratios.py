#!/usr/bin/env python3
"""Turns one Google Benchmark JSON run into the table of ratios against the
baselines of the same run (see docs/performance.md for what each row means)."""
import json
import sys


def load(path):
    with open(path) as f:
        data = json.load(f)
    times = {}
    items = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        times[b["name"]] = b["real_time"] if "real_time" in b["name"] else b["cpu_time"]
        if "items_per_second" in b:
            items[b["name"]] = b["items_per_second"]
    return times, items


def main():
    times, items = load(sys.argv[1])
    rows = []

    def ratio(label, num, den, target=""):
        if num in times and den in times:
            rows.append((label, times[num] / times[den], target))

    def per_item_ratio(label, num, den, target=""):
        # ratio of time per item: num / den
        if num in items and den in items:
            rows.append((label, items[den] / items[num], target))

    for kind in ("Int", "String"):
        ratio(f"get {kind.lower()}: 10000 pairs / 8 pairs", f"BM_Get{kind}/10000", f"BM_Get{kind}/8", "<= 1.5")
        ratio(f"put {kind.lower()} (replace): 10000 pairs / 8 pairs", f"BM_Put{kind}Replace/10000",
              f"BM_Put{kind}Replace/8", "<= 1.5")
        for n in (8, 64, 1000, 10000):
            ratio(f"get {kind.lower()} / unordered_map find, {n} pairs", f"BM_Get{kind}/{n}",
                  f"BM_Baseline_MapFind{kind}/{n}", "<= 6 (4) at 1000")
            ratio(f"put {kind.lower()} replace / insert_or_assign, {n} pairs", f"BM_Put{kind}Replace/{n}",
                  f"BM_Baseline_MapAssign{kind}/{n}")
    for n in (8, 64, 1000, 10000):
        ratio(f"put new + remove / insert + erase, {n} pairs", f"BM_PutIntNewThenRemove/{n}",
              f"BM_Baseline_MapInsertThenErase/{n}")
    for what in ("Copy", "Encode/Int", "Decode/Int", "Encode/String", "Decode/String"):
        per_item_ratio(f"{what}: per-pair time, 10000 / 64 pairs", f"BM_{what}/10000", f"BM_{what}/64", "<= 2")
    for kind in ("Int", "String"):
        for n in (8, 64, 1000, 10000):
            if f"BM_Encode/{kind}/{n}" in items and f"BM_Baseline_MsgpackPack/{kind}/{n}" in items:
                rows.append((f"encode {kind.lower()}s: pairs/s vs msgpack pack, {n} pairs",
                             items[f"BM_Encode/{kind}/{n}"] / items[f"BM_Baseline_MsgpackPack/{kind}/{n}"],
                             ">= 1.5 ints, >= 0.6 strings (1000+); 8-pair time within 2x"))
            if f"BM_Decode/{kind}/{n}" in items and f"BM_Baseline_MsgpackUnpack/{kind}/{n}" in items:
                rows.append((f"decode {kind.lower()}s: pairs/s vs msgpack unpack+convert, {n} pairs",
                             items[f"BM_Decode/{kind}/{n}"] / items[f"BM_Baseline_MsgpackUnpack/{kind}/{n}"],
                             ">= 1.0"))
            if f"BM_Encode/{kind}/{n}" in items and f"BM_Baseline_Memcpy/{kind}/{n}" in items:
                rows.append((f"encode {kind.lower()}s: pairs/s vs memcpy of the bytes, {n} pairs",
                             items[f"BM_Encode/{kind}/{n}"] / items[f"BM_Baseline_Memcpy/{kind}/{n}"], "(limit)"))
    for n in (20000, 200000):
        ratio(f"decode {n} int pairs: every key colliding under a known seed / random seed",
              f"BM_DecodeKeys/AllColliding/{n}", f"BM_DecodeKeys/RandomSeed/{n}", "<= 2")
    ratio("decode with every key colliding: time for 200000 / for 20000 pairs",
          "BM_DecodeKeys/AllColliding/200000", "BM_DecodeKeys/AllColliding/20000", "about 10 (linear)")
    one = "BM_GetIntThreads/real_time/threads:1"
    two = "BM_GetIntThreads/real_time/threads:2"
    if one in times and two in times:
        # real time per operation falls as total throughput rises
        rows.append(("keyed get, 2 threads / 1 thread: total throughput", times[one] / times[two], ">= 1.0 (1.5)"))

    print("| measure | ratio | target |")
    print("|---|---|---|")
    for label, value, target in rows:
        print(f"| {label} | {value:.2f} | {target} |")


if __name__ == "__main__":
    main()
