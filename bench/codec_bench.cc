// Encoding and decoding of KV-Set blocks, beside msgpack-c packing and
// unpacking the same content and memcpy of the encoded bytes (the limit).
#include <benchmark/benchmark.h>
#include <msgpack.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_util.h"

namespace {

using bench::encode;
using bench::key_at;

// Ten-character strings as msgpack carries them (UTF-8).
std::string narrow_text_at(int64_t i)
{
    std::wstring w = bench::text_at(i);
    return std::string(w.begin(), w.end());
}

CTkvs make_set(bool strings, int64_t n) { return strings ? bench::make_string_set(n) : bench::make_int_set(n); }

// The timed loops, shared by the sized sets and the make-call options set.
void encode_loop(benchmark::State &state, CTkvs kvs)
{
    CTerror e = 0;
    for (auto _ : state) {
        uint8_t *buffer = nullptr;
        uint32_t length = 0;
        MRQkvs_WriteToMemory(&buffer, kvs, &length, &e);
        benchmark::DoNotOptimize(buffer);
        MRQkvs_FreeBuffer(buffer);
    }
}

void decode_loop(benchmark::State &state, const std::vector<uint8_t> &bytes)
{
    CTerror e = 0;
    for (auto _ : state) {
        CTkvs kvs = 0;
        CTkvs_Create(&kvs, &e);
        MRQkvs_ReadFromMemory(kvs, bytes.data() + 8, static_cast<uint32_t>(bytes.size() - 8), &e);
        CTkvs_Destroy(kvs, &e);
    }
}

// The encoded bytes of a set, which is destroyed.
std::vector<uint8_t> encode_and_destroy(CTkvs kvs)
{
    std::vector<uint8_t> bytes = encode(kvs);
    bench::destroy(kvs);
    return bytes;
}

void BM_Encode(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    CTkvs kvs = make_set(strings, n);
    encode_loop(state, kvs);
    state.SetItemsProcessed(state.iterations() * n);
    bench::destroy(kvs);
}
BENCHMARK_CAPTURE(BM_Encode, Int, false)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);
BENCHMARK_CAPTURE(BM_Encode, String, true)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Decode(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    decode_loop(state, encode_and_destroy(make_set(strings, n)));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK_CAPTURE(BM_Decode, Int, false)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);
BENCHMARK_CAPTURE(BM_Decode, String, true)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

template <class V>
std::unordered_map<uint32_t, V> baseline_map(int64_t n, V (*value)(int64_t))
{
    std::unordered_map<uint32_t, V> map;
    for (int64_t i = 0; i < n; ++i) map[key_at(i)] = value(i);
    return map;
}

int32_t int_at(int64_t i) { return static_cast<int32_t>(i); }

template <class V>
void pack_map(msgpack::sbuffer &out, const std::unordered_map<uint32_t, V> &map)
{
    msgpack::packer<msgpack::sbuffer> packer(out);
    packer.pack_map(static_cast<uint32_t>(map.size()));
    for (const auto &kv : map) {
        packer.pack(kv.first);
        packer.pack(kv.second);
    }
}

template <class V>
void msgpack_pack(benchmark::State &state, V (*value)(int64_t))
{
    const int64_t n = state.range(0);
    auto map = baseline_map<V>(n, value);
    for (auto _ : state) {
        msgpack::sbuffer out;
        pack_map(out, map);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

template <class V>
void msgpack_unpack(benchmark::State &state, V (*value)(int64_t))
{
    const int64_t n = state.range(0);
    msgpack::sbuffer packed;
    pack_map(packed, baseline_map<V>(n, value));
    for (auto _ : state) {
        msgpack::object_handle handle = msgpack::unpack(packed.data(), packed.size());
        std::unordered_map<uint32_t, V> map;
        handle.get().convert(map);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Baseline_MsgpackPack(benchmark::State &state, bool strings)
{
    if (strings)
        msgpack_pack<std::string>(state, narrow_text_at);
    else
        msgpack_pack<int32_t>(state, int_at);
}
BENCHMARK_CAPTURE(BM_Baseline_MsgpackPack, Int, false)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);
BENCHMARK_CAPTURE(BM_Baseline_MsgpackPack, String, true)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Baseline_MsgpackUnpack(benchmark::State &state, bool strings)
{
    if (strings)
        msgpack_unpack<std::string>(state, narrow_text_at);
    else
        msgpack_unpack<int32_t>(state, int_at);
}
BENCHMARK_CAPTURE(BM_Baseline_MsgpackUnpack, Int, false)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);
BENCHMARK_CAPTURE(BM_Baseline_MsgpackUnpack, String, true)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

void BM_Baseline_Memcpy(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    std::vector<uint8_t> bytes = encode_and_destroy(make_set(strings, n));
    std::vector<uint8_t> target(bytes.size());
    for (auto _ : state) {
        std::memcpy(target.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK_CAPTURE(BM_Baseline_Memcpy, Int, false)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);
BENCHMARK_CAPTURE(BM_Baseline_Memcpy, String, true)->Arg(8)->Arg(64)->Arg(1000)->Arg(10000);

// A set shaped like the make-call options: strings, nested sets of booleans
// and integers, and symbol arrays.
CTkvs make_call_like_set()
{
    CTkvs options = 0, nested = 0;
    CTerror e = 0;
    CTkvs_Create(&options, &e);
    CTkvs_PutString(options, MakeCall_LineDevice, L"SIP/line-0001", &e);
    CTkvs_PutString(options, MakeCall_CallingNumber, L"+442079460000", &e);
    const CTsymbol offer[] = {0x18C0706D, 0x1880706D};
    CTkvs_PutSymbolArray(options, MakeCall_OutboundOfferMedia, offer, 2, &e);
    CTkvs_PutSymbolArray(options, MakeCall_OutboundAcceptMedia, offer, 2, &e);
    for (CTsymbol key : {MakeCall_RTC, MakeCall_CPA, MakeCall_ConnectMask, MakeCall_DisconnectMask}) {
        CTkvs_Create(&nested, &e);
        for (int i = 0; i < 12; ++i) CTkvs_PutInt(nested, key_at(i), i * 100, &e);
        CTkvs_PutKVS(options, key, nested, &e);
        CTkvs_Destroy(nested, &e);
    }
    return options;
}

void BM_EncodeMakeCallOptions(benchmark::State &state)
{
    CTkvs kvs = make_call_like_set();
    encode_loop(state, kvs);
    bench::destroy(kvs);
}
BENCHMARK(BM_EncodeMakeCallOptions);

void BM_DecodeMakeCallOptions(benchmark::State &state) { decode_loop(state, encode_and_destroy(make_call_like_set())); }
BENCHMARK(BM_DecodeMakeCallOptions);

// ---- files (the working directory is a temporary one: see bench/run.sh) ---

void BM_WriteFile(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    CTkvs kvs = make_set(strings, n);
    CTerror e = 0;
    for (auto _ : state) CTkvs_WriteFile(kvs, L"bench_block.kvs", 0, &e);
    state.SetItemsProcessed(state.iterations() * n);
    bench::destroy(kvs);
    std::remove("bench_block.kvs");
}
BENCHMARK_CAPTURE(BM_WriteFile, Int, false)->Arg(64)->Arg(10000);
BENCHMARK_CAPTURE(BM_WriteFile, String, true)->Arg(64)->Arg(10000);

void BM_ReadFile(benchmark::State &state, bool strings)
{
    const int64_t n = state.range(0);
    CTkvs source = make_set(strings, n);
    CTerror e = 0;
    CTkvs_WriteFile(source, L"bench_read.kvs", 0, &e);
    bench::destroy(source);
    for (auto _ : state) {
        CTkvs kvs = 0;
        CTkvs_Create(&kvs, &e);
        CTkvs_ReadFile(kvs, L"bench_read.kvs", 0, &e);
        CTkvs_Destroy(kvs, &e);
    }
    state.SetItemsProcessed(state.iterations() * n);
    std::remove("bench_read.kvs");
}
BENCHMARK_CAPTURE(BM_ReadFile, Int, false)->Arg(64)->Arg(10000);
BENCHMARK_CAPTURE(BM_ReadFile, String, true)->Arg(64)->Arg(10000);

}  // namespace
