// Decoding a block whose keys all collide in the key index under a known
// seed, beside the same block under the process's random seed: the index
// reseeds itself, so both decode in time linear in their size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_util.h"
#include "store/key_index.h"

namespace {

// Under seed 0 the hash is the key itself, whose top bits are all zero:
// every key wants slot 0 of every table, the worst a known seed can do.
constexpr std::uint64_t kKnownSeed = 0;

std::vector<std::uint8_t> int_block(const std::vector<CTsymbol> &keys)
{
    CTkvs kvs = 0;
    CTerror e = 0;
    CTkvs_Create(&kvs, &e);
    for (CTsymbol k : keys) CTkvs_PutInt(kvs, k, static_cast<int32_t>(k), &e);
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    MRQkvs_WriteToMemory(&buffer, kvs, &length, &e);
    std::vector<std::uint8_t> bytes(buffer, buffer + length);
    MRQkvs_FreeBuffer(buffer);
    bench::destroy(kvs);
    return bytes;
}

void BM_DecodeKeys(benchmark::State &state, bool flooding)
{
    const int64_t n = state.range(0);
    const std::uint64_t saved = kvs::index_seed();
    if (flooding) kvs::index_set_seed(kKnownSeed);
    std::vector<CTsymbol> keys;
    for (int64_t i = 0; i < n; ++i) keys.push_back(bench::key_at(i));
    const std::vector<std::uint8_t> bytes = int_block(keys);
    CTerror e = 0;
    for (auto _ : state) {
        CTkvs kvs = 0;
        CTkvs_Create(&kvs, &e);
        MRQkvs_ReadFromMemory(kvs, bytes.data() + 8, static_cast<std::uint32_t>(bytes.size() - 8), &e);
        CTkvs_Destroy(kvs, &e);
    }
    state.SetItemsProcessed(state.iterations() * n);
    kvs::index_set_seed(saved);
}
BENCHMARK_CAPTURE(BM_DecodeKeys, RandomSeed, false)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeKeys, AllColliding, true)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
