// Decoding a block whose keys were chosen to pile into one probe run of the
// key index under a known seed, beside a block of ordinary keys: the index
// reseeds itself, so both decode in time linear in their size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_util.h"
#include "store/key_index.h"

namespace {

constexpr std::uint64_t kKnownSeed = 0x0123456789ABCDEFull;

// Slots of the index a set of n pairs ends with (it is built past the
// threshold and rebuilt at four times the pairs when half full).
std::uint32_t final_capacity(int64_t n)
{
    std::uint32_t capacity = 0;
    for (int64_t p = kvs::kIndexThreshold + 1; p <= n; ++p) {
        if (capacity != 0 && static_cast<std::uint32_t>(p) * 2 <= capacity) continue;
        capacity = 64;
        while (capacity < static_cast<std::uint32_t>(p) * 4u) capacity <<= 1;
    }
    return capacity;
}

// n keys whose slots under the known seed all lie in the first n/8 slots of
// the final table: one probe run about n long.
std::vector<CTsymbol> flooding_keys(int64_t n)
{
    const std::uint32_t mask = final_capacity(n) - 1;
    const std::uint32_t span = static_cast<std::uint32_t>(n / 8 + 1);
    std::vector<CTsymbol> keys;
    for (CTsymbol k = 0; static_cast<int64_t>(keys.size()) < n; ++k)
        if ((kvs::index_hash(k, kKnownSeed) & mask) < span) keys.push_back(k);
    return keys;
}

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
    kvs::index_set_seed(kKnownSeed);
    std::vector<CTsymbol> keys;
    if (flooding) {
        keys = flooding_keys(n);
    } else {
        for (int64_t i = 0; i < n; ++i) keys.push_back(bench::key_at(i));
    }
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
BENCHMARK_CAPTURE(BM_DecodeKeys, Ordinary, false)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeKeys, Flooding, true)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
