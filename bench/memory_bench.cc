// Heap bytes per pair of a set, beside std::unordered_map and msgpack-c's
// zone holding the same pairs. Each case builds its container once and
// reports the heap it holds (malloc's in-use bytes, chunk overhead included,
// and mmapped blocks) as the counter bytes_per_pair; its time means nothing.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <msgpack.hpp>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_util.h"

namespace {

using bench::key_at;

std::size_t heap_in_use()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void report(benchmark::State &state, std::size_t before, std::size_t after)
{
    const double n = static_cast<double>(state.range(0));
    state.counters["bytes_per_pair"] = (static_cast<double>(after) - static_cast<double>(before)) / n;
}

std::vector<uint8_t> encoded(bool strings, int64_t n)
{
    CTkvs kvs = strings ? bench::make_string_set(n) : bench::make_int_set(n);
    std::vector<uint8_t> bytes = bench::encode(kvs);
    bench::destroy(kvs);
    return bytes;
}

// A set built by puts, or read from a block.
void BM_HeapPerPair(benchmark::State &state, bool strings, bool decoded)
{
    const int64_t n = state.range(0);
    const std::vector<uint8_t> bytes = decoded ? encoded(strings, n) : std::vector<uint8_t>();
    for (auto _ : state) {
        const std::size_t before = heap_in_use();
        CTkvs kvs = 0;
        CTerror e = 0;
        if (decoded) {
            CTkvs_Create(&kvs, &e);
            MRQkvs_ReadFromMemory(kvs, bytes.data() + 8, static_cast<uint32_t>(bytes.size() - 8), &e);
        } else {
            kvs = strings ? bench::make_string_set(n) : bench::make_int_set(n);
        }
        report(state, before, heap_in_use());
        bench::destroy(kvs);
    }
}

std::string narrow_text_at(int64_t i)
{
    std::wstring w = bench::text_at(i);
    return std::string(w.begin(), w.end());
}

template <class V>
void map_heap(benchmark::State &state, V (*value)(int64_t))
{
    const int64_t n = state.range(0);
    for (auto _ : state) {
        const std::size_t before = heap_in_use();
        auto *map = new std::unordered_map<uint32_t, V>();
        for (int64_t i = 0; i < n; ++i) (*map)[key_at(i)] = value(i);
        report(state, before, heap_in_use());
        delete map;
    }
}

template <class V>
void zone_heap(benchmark::State &state, V (*value)(int64_t))
{
    const int64_t n = state.range(0);
    msgpack::sbuffer packed;
    {
        msgpack::packer<msgpack::sbuffer> packer(packed);
        packer.pack_map(static_cast<uint32_t>(n));
        for (int64_t i = 0; i < n; ++i) {
            packer.pack(key_at(i));
            packer.pack(value(i));
        }
    }
    for (auto _ : state) {
        const std::size_t before = heap_in_use();
        msgpack::object_handle handle = msgpack::unpack(packed.data(), packed.size());
        benchmark::DoNotOptimize(handle.get());
        report(state, before, heap_in_use());
    }
}

int32_t int_at(int64_t i) { return static_cast<int32_t>(i); }

void BM_Baseline_MapHeapPerPair(benchmark::State &state, bool strings)
{
    if (strings)
        map_heap<std::string>(state, narrow_text_at);
    else
        map_heap<int32_t>(state, int_at);
}

void BM_Baseline_MsgpackZonePerPair(benchmark::State &state, bool strings)
{
    if (strings)
        zone_heap<std::string>(state, narrow_text_at);
    else
        zone_heap<int32_t>(state, int_at);
}

#define HEAP_SIZES ->Arg(64)->Arg(1000)->Arg(10000)->Arg(100000)->Iterations(1)
BENCHMARK_CAPTURE(BM_HeapPerPair, Puts/Int, false, false) HEAP_SIZES;
BENCHMARK_CAPTURE(BM_HeapPerPair, Puts/String, true, false) HEAP_SIZES;
BENCHMARK_CAPTURE(BM_HeapPerPair, Decoded/Int, false, true) HEAP_SIZES;
BENCHMARK_CAPTURE(BM_HeapPerPair, Decoded/String, true, true) HEAP_SIZES;
BENCHMARK_CAPTURE(BM_Baseline_MapHeapPerPair, Int, false) HEAP_SIZES;
BENCHMARK_CAPTURE(BM_Baseline_MapHeapPerPair, String, true) HEAP_SIZES;
BENCHMARK_CAPTURE(BM_Baseline_MsgpackZonePerPair, Int, false) HEAP_SIZES;
BENCHMARK_CAPTURE(BM_Baseline_MsgpackZonePerPair, String, true) HEAP_SIZES;
#undef HEAP_SIZES

}  // namespace
