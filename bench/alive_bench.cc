// Copy, encode and decode while many other sets are alive, so that the
// working set is well past the caches and the allocator holds many blocks,
// as in a service with thousands of calls in flight. Each iteration works on
// the next set of a ring; copy and decode replace that set with their result.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench_util.h"

namespace {

// About 32 MiB of pairs in all, and never fewer than 8 sets.
int64_t alive_count(int64_t n) { return std::max<int64_t>(8, (int64_t{32} << 20) / (n * 64)); }

struct Ring {
    std::vector<CTkvs> sets;
    std::vector<std::vector<uint8_t>> blocks;  // each set's memory block (decode only)
    std::size_t next = 0;

    Ring(bool strings, int64_t n, bool withBlocks)
    {
        const int64_t count = alive_count(n);
        for (int64_t i = 0; i < count; ++i) {
            sets.push_back(strings ? bench::make_string_set(n) : bench::make_int_set(n));
            if (withBlocks) blocks.push_back(bench::encode(sets.back()));
        }
    }
    ~Ring()
    {
        for (CTkvs kvs : sets) bench::destroy(kvs);
    }
    std::size_t advance()
    {
        const std::size_t at = next;
        next = (next + 1) % sets.size();
        return at;
    }
};

void BM_AliveCopy(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    Ring ring(strings, n, false);
    CTerror e = 0;
    for (auto _ : state) {
        const std::size_t at = ring.advance();
        CTkvs copy = 0;
        CTkvs_Create(&copy, &e);
        CTkvs_Copy(copy, ring.sets[at], &e);
        bench::destroy(ring.sets[at]);
        ring.sets[at] = copy;
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_AliveEncode(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    Ring ring(strings, n, false);
    CTerror e = 0;
    for (auto _ : state) {
        uint8_t *buffer = nullptr;
        uint32_t length = 0;
        MRQkvs_WriteToMemory(&buffer, ring.sets[ring.advance()], &length, &e);
        benchmark::DoNotOptimize(buffer);
        MRQkvs_FreeBuffer(buffer);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_AliveDecode(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    Ring ring(strings, n, true);
    CTerror e = 0;
    for (auto _ : state) {
        const std::size_t at = ring.advance();
        const std::vector<uint8_t> &block = ring.blocks[at];
        CTkvs fresh = 0;
        CTkvs_Create(&fresh, &e);
        MRQkvs_ReadFromMemory(fresh, block.data() + 8, static_cast<uint32_t>(block.size() - 8), &e);
        bench::destroy(ring.sets[at]);
        ring.sets[at] = fresh;
    }
    state.SetItemsProcessed(state.iterations() * n);
}

#define ALIVE_SIZES ->Arg(8)->Arg(64)->Arg(1000)->Arg(10000)
BENCHMARK_CAPTURE(BM_AliveCopy, Int, false) ALIVE_SIZES;
BENCHMARK_CAPTURE(BM_AliveCopy, String, true) ALIVE_SIZES;
BENCHMARK_CAPTURE(BM_AliveEncode, Int, false) ALIVE_SIZES;
BENCHMARK_CAPTURE(BM_AliveEncode, String, true) ALIVE_SIZES;
BENCHMARK_CAPTURE(BM_AliveDecode, Int, false) ALIVE_SIZES;
BENCHMARK_CAPTURE(BM_AliveDecode, String, true) ALIVE_SIZES;
#undef ALIVE_SIZES

}  // namespace
