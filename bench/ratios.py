#!/usr/bin/env python3
"""Turns one Google Benchmark JSON run into the tables of ratios against the
baselines of the same run (see docs/performance.md for what each row means).

With repetitions (bench/run.sh runs them interleaved), each case's figure is
the median of its repetitions, and each ratio shows the spread of the ratios
of repetitions taken in the same round (min to max)."""
import json
import statistics
import sys


def load(path):
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        runs.setdefault(b.get("run_name", b["name"]), []).append(b)
    return data.get("context", {}), runs


class Run:
    def __init__(self, runs):
        self.runs = runs

    def series(self, name, field):
        """The figure of every repetition, or None when the case is missing."""
        entries = self.runs.get(name)
        if not entries:
            return None
        if field == "time":
            return [e["real_time"] if "real_time" in name else e["cpu_time"] for e in entries]
        if any(field not in e for e in entries):
            return None
        return [e[field] for e in entries]

    def ratio(self, num, den, field="time", invert=False):
        """(median ratio, lowest, highest) of num / den (den / num with invert)."""
        a, b = self.series(num, field), self.series(den, field)
        if a is None or b is None:
            return None
        if invert:
            a, b = b, a
        median = statistics.median(a) / statistics.median(b)
        paired = [x / y for x, y in zip(a, b)] if len(a) == len(b) else [median]
        return median, min(paired), max(paired)


def main():
    context, runs = load(sys.argv[1])
    run = Run(runs)
    rows = []

    def time_ratio(label, num, den, target=""):
        r = run.ratio(num, den)
        if r:
            rows.append((label, r, target))

    def rate_ratio(label, num, den, target=""):
        # pairs per second of num against den
        r = run.ratio(num, den, "items_per_second")
        if r:
            rows.append((label, r, target))

    def per_pair_ratio(label, num, den, target=""):
        # time per pair of num against den
        r = run.ratio(num, den, "items_per_second", invert=True)
        if r:
            rows.append((label, r, target))

    for kind in ("Int", "String"):
        k = kind.lower()
        time_ratio(f"get {k}: 10000 pairs / 8 pairs", f"BM_Get{kind}/10000", f"BM_Get{kind}/8", "<= 1.5")
        time_ratio(f"put {k} (replace): 10000 pairs / 8 pairs", f"BM_Put{kind}Replace/10000",
                   f"BM_Put{kind}Replace/8", "<= 1.5")
        for n in (8, 64, 1000, 10000):
            time_ratio(f"get {k} / unordered_map find, {n} pairs", f"BM_Get{kind}/{n}",
                       f"BM_Baseline_MapFind{kind}/{n}", "<= 3 (2)" if n == 1000 else "")
            time_ratio(f"put {k} replace / insert_or_assign, {n} pairs", f"BM_Put{kind}Replace/{n}",
                       f"BM_Baseline_MapAssign{kind}/{n}")
    for n in (8, 64, 1000, 10000):
        time_ratio(f"put new + remove / insert + erase, {n} pairs", f"BM_PutIntNewThenRemove/{n}",
                   f"BM_Baseline_MapInsertThenErase/{n}")
    for what in ("Copy", "Encode/Int", "Decode/Int", "Encode/String", "Decode/String"):
        per_pair_ratio(f"{what}: per-pair time, 10000 / 64 pairs", f"BM_{what}/10000", f"BM_{what}/64", "<= 2")
    for what in ("Copy", "Encode", "Decode"):
        for kind in ("Int", "String"):
            per_pair_ratio(f"{what.lower()} {kind.lower()}s, many sets alive: per-pair time, 10000 / 64 pairs",
                           f"BM_Alive{what}/{kind}/10000", f"BM_Alive{what}/{kind}/64", "<= 1.5")
    for kind in ("Int", "String"):
        k = kind.lower()
        for n in (8, 64, 1000, 10000):
            if n == 8:
                target = ">= 0.5 (time within 2x)"
            elif kind == "Int":
                target = ">= 1.5 (2)" if n >= 1000 else ""
            else:
                target = ">= 0.6" if n >= 1000 else ""
            rate_ratio(f"encode {k}s: pairs/s vs msgpack pack, {n} pairs", f"BM_Encode/{kind}/{n}",
                       f"BM_Baseline_MsgpackPack/{kind}/{n}", target)
            rate_ratio(f"decode {k}s: pairs/s vs msgpack unpack+convert, {n} pairs", f"BM_Decode/{kind}/{n}",
                       f"BM_Baseline_MsgpackUnpack/{kind}/{n}", ">= 2" if kind == "Int" else ">= 1.2")
            rate_ratio(f"encode {k}s: pairs/s vs memcpy of the bytes, {n} pairs", f"BM_Encode/{kind}/{n}",
                       f"BM_Baseline_Memcpy/{kind}/{n}", "(>= 0.2 stretch)" if kind == "String" else "(limit)")
    for n in (20000, 200000):
        time_ratio(f"decode {n} int pairs: every key colliding under a known seed / random seed",
                   f"BM_DecodeKeys/AllColliding/{n}", f"BM_DecodeKeys/RandomSeed/{n}", "<= 2")
    time_ratio("decode with every key colliding: time for 200000 / for 20000 pairs",
               "BM_DecodeKeys/AllColliding/200000", "BM_DecodeKeys/AllColliding/20000", "about 10 (linear)")
    # real time per operation falls as total throughput rises
    time_ratio("keyed get, 2 threads / 1 thread: total throughput", "BM_GetIntThreads/real_time/threads:1",
               "BM_GetIntThreads/real_time/threads:2", ">= 1.0 (1.5)")

    reps = max((len(v) for v in runs.values()), default=0)
    load_avg = context.get("load_avg")
    print(f"{reps} repetition(s) per case" + (f"; load average at start {load_avg}" if load_avg else ""))
    print()
    print("| measure | ratio (median) | spread (min-max) | target |")
    print("|---|---|---|---|")
    for label, (median, low, high), target in rows:
        print(f"| {label} | {median:.2f} | {low:.2f}-{high:.2f} | {target} |")

    heap = []
    for kind in ("Int", "String"):
        for n in (64, 1000, 10000, 100000):
            cells = []
            for name in (f"BM_HeapPerPair/Puts/{kind}/{n}", f"BM_HeapPerPair/Decoded/{kind}/{n}",
                         f"BM_Baseline_MapHeapPerPair/{kind}/{n}", f"BM_Baseline_MsgpackZonePerPair/{kind}/{n}"):
                values = run.series(name + "/iterations:1", "bytes_per_pair")
                cells.append(f"{statistics.median(values):.1f}" if values else "-")
            if any(c != "-" for c in cells):
                limit = {"Int": "<= 64", "String": "<= 112"}[kind] if n == 1000 else ""
                heap.append((f"{kind.lower()} pairs, {n}", cells, limit))
    if heap:
        print()
        print("| heap bytes per pair | KV-Set by puts | KV-Set decoded | unordered_map | msgpack zone | target |")
        print("|---|---|---|---|---|---|")
        for label, cells, limit in heap:
            print(f"| {label} | " + " | ".join(cells) + f" | {limit} |")


if __name__ == "__main__":
    main()
