// Keyed access, walks, copies and lifecycle of the store, each beside the
// baseline it is measured against (std::unordered_map).
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>

#include "bench_util.h"

namespace {

using bench::key_at;

// ---- keyed get -----------------------------------------------------------

void BM_GetInt(benchmark::State &state)
{
    const int64_t n = state.range(0);
    CTkvs kvs = bench::make_int_set(n);
    auto keys = bench::scrambled_keys(n);
    CTerror e = 0;
    size_t i = 0;
    for (auto _ : state) {
        int32_t value = 0;
        CTkvs_GetInt(kvs, keys[i], &value, &e);
        benchmark::DoNotOptimize(value);
        if (++i == keys.size()) i = 0;
    }
    bench::destroy(kvs);
}
BENCHMARK(BM_GetInt)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Baseline_MapFindInt(benchmark::State &state)
{
    const int64_t n = state.range(0);
    std::unordered_map<uint32_t, int32_t> map;
    for (int64_t k = 0; k < n; ++k) map[key_at(k)] = static_cast<int32_t>(k);
    auto keys = bench::scrambled_keys(n);
    size_t i = 0;
    for (auto _ : state) {
        auto it = map.find(keys[i]);
        benchmark::DoNotOptimize(it->second);
        if (++i == keys.size()) i = 0;
    }
}
BENCHMARK(BM_Baseline_MapFindInt)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_GetString(benchmark::State &state)
{
    const int64_t n = state.range(0);
    CTkvs kvs = bench::make_string_set(n);
    auto keys = bench::scrambled_keys(n);
    CTerror e = 0;
    size_t i = 0;
    for (auto _ : state) {
        wchar_t *value = nullptr;
        CTkvs_GetString(kvs, keys[i], &value, &e);
        benchmark::DoNotOptimize(value);
        if (++i == keys.size()) i = 0;
    }
    bench::destroy(kvs);
}
BENCHMARK(BM_GetString)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Baseline_MapFindString(benchmark::State &state)
{
    const int64_t n = state.range(0);
    std::unordered_map<uint32_t, std::wstring> map;
    for (int64_t k = 0; k < n; ++k) map[key_at(k)] = bench::text_at(k);
    auto keys = bench::scrambled_keys(n);
    size_t i = 0;
    for (auto _ : state) {
        auto it = map.find(keys[i]);
        benchmark::DoNotOptimize(it->second.data());
        if (++i == keys.size()) i = 0;
    }
}
BENCHMARK(BM_Baseline_MapFindString)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

// ---- keyed put: replace, and a new key (put then remove, so the size holds)

void BM_PutIntReplace(benchmark::State &state)
{
    const int64_t n = state.range(0);
    CTkvs kvs = bench::make_int_set(n);
    auto keys = bench::scrambled_keys(n);
    CTerror e = 0;
    size_t i = 0;
    int32_t v = 0;
    for (auto _ : state) {
        CTkvs_PutInt(kvs, keys[i], ++v, &e);
        if (++i == keys.size()) i = 0;
    }
    bench::destroy(kvs);
}
BENCHMARK(BM_PutIntReplace)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Baseline_MapAssignInt(benchmark::State &state)
{
    const int64_t n = state.range(0);
    std::unordered_map<uint32_t, int32_t> map;
    for (int64_t k = 0; k < n; ++k) map[key_at(k)] = static_cast<int32_t>(k);
    auto keys = bench::scrambled_keys(n);
    size_t i = 0;
    int32_t v = 0;
    for (auto _ : state) {
        map.insert_or_assign(keys[i], ++v);
        if (++i == keys.size()) i = 0;
    }
    benchmark::DoNotOptimize(map.size());
}
BENCHMARK(BM_Baseline_MapAssignInt)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_PutStringReplace(benchmark::State &state)
{
    const int64_t n = state.range(0);
    CTkvs kvs = bench::make_string_set(n);
    auto keys = bench::scrambled_keys(n);
    const std::wstring text = L"replaced!!";
    CTerror e = 0;
    size_t i = 0;
    for (auto _ : state) {
        CTkvs_PutString(kvs, keys[i], text.c_str(), &e);
        if (++i == keys.size()) i = 0;
    }
    bench::destroy(kvs);
}
BENCHMARK(BM_PutStringReplace)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Baseline_MapAssignString(benchmark::State &state)
{
    const int64_t n = state.range(0);
    std::unordered_map<uint32_t, std::wstring> map;
    for (int64_t k = 0; k < n; ++k) map[key_at(k)] = bench::text_at(k);
    auto keys = bench::scrambled_keys(n);
    const std::wstring text = L"replaced!!";
    size_t i = 0;
    for (auto _ : state) {
        map.insert_or_assign(keys[i], text);
        if (++i == keys.size()) i = 0;
    }
    benchmark::DoNotOptimize(map.size());
}
BENCHMARK(BM_Baseline_MapAssignString)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_PutIntNewThenRemove(benchmark::State &state)
{
    const int64_t n = state.range(0);
    CTkvs kvs = bench::make_int_set(n);
    CTerror e = 0;
    const CTsymbol fresh = key_at(n + 1);
    for (auto _ : state) {
        CTkvs_PutInt(kvs, fresh, 1, &e);
        CTkvs_Remove(kvs, &fresh, 1, &e);
    }
    bench::destroy(kvs);
}
BENCHMARK(BM_PutIntNewThenRemove)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Baseline_MapInsertThenErase(benchmark::State &state)
{
    const int64_t n = state.range(0);
    std::unordered_map<uint32_t, int32_t> map;
    for (int64_t k = 0; k < n; ++k) map[key_at(k)] = static_cast<int32_t>(k);
    const uint32_t fresh = key_at(n + 1);
    for (auto _ : state) {
        map.insert_or_assign(fresh, 1);
        map.erase(fresh);
    }
    benchmark::DoNotOptimize(map.size());
}
BENCHMARK(BM_Baseline_MapInsertThenErase)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

// ---- walks, copies, lifecycle, nesting -----------------------------------

void BM_WalkGetNext(benchmark::State &state)
{
    const int64_t n = state.range(0);
    CTkvs kvs = bench::make_int_set(n);
    CTerror e = 0;
    for (auto _ : state) {
        CTsymbol cursor = CT_keyFirst, key = 0;
        uint32_t type = 0;
        int32_t count = 0;
        while (CTkvs_GetNext(kvs, &cursor, &key, &type, &count, &e) == CT_statusOK) cursor = 0;
        benchmark::DoNotOptimize(key);
    }
    state.SetItemsProcessed(state.iterations() * n);
    bench::destroy(kvs);
}
BENCHMARK(BM_WalkGetNext)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Copy(benchmark::State &state)
{
    const int64_t n = state.range(0);
    CTkvs source = bench::make_int_set(n);
    CTerror e = 0;
    for (auto _ : state) {
        CTkvs target = 0;
        CTkvs_Create(&target, &e);
        CTkvs_Copy(target, source, &e);
        CTkvs_Destroy(target, &e);
    }
    state.SetItemsProcessed(state.iterations() * n);
    bench::destroy(source);
}
BENCHMARK(BM_Copy)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_CreateDestroy(benchmark::State &state)
{
    CTerror e = 0;
    for (auto _ : state) {
        CTkvs kvs = 0;
        CTkvs_Create(&kvs, &e);
        CTkvs_Destroy(kvs, &e);
    }
}
BENCHMARK(BM_CreateDestroy);

void BM_PutNestedSet(benchmark::State &state)
{
    CTkvs inner = bench::make_int_set(8);
    CTkvs outer = bench::make_int_set(8);
    CTerror e = 0;
    for (auto _ : state) CTkvs_PutKVS(outer, key_at(100), inner, &e);  // replaces: old copy destroyed
    bench::destroy(outer);
    bench::destroy(inner);
}
BENCHMARK(BM_PutNestedSet);

// ---- registry contention: each thread reads its own set ------------------

void BM_GetIntThreads(benchmark::State &state)
{
    CTkvs kvs = bench::make_int_set(64);
    auto keys = bench::scrambled_keys(64);
    CTerror e = 0;
    size_t i = 0;
    for (auto _ : state) {
        int32_t value = 0;
        CTkvs_GetInt(kvs, keys[i], &value, &e);
        benchmark::DoNotOptimize(value);
        if (++i == keys.size()) i = 0;
    }
    bench::destroy(kvs);
}
BENCHMARK(BM_GetIntThreads)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
