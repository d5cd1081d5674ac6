// Shared helpers of the benchmarks: sets of a given size and their keys.
#ifndef KVSET_BENCH_BENCH_UTIL_H
#define KVSET_BENCH_BENCH_UTIL_H

#include <cstdint>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"

namespace bench {

// Symbol-like keys: distinct, spread like S.100 symbols.
inline CTsymbol key_at(int64_t i) { return static_cast<CTsymbol>(0x0000106Du + (static_cast<uint32_t>(i) << 16) + (static_cast<uint32_t>(i) >> 16)); }

// A ten-character string that differs per index.
inline std::wstring text_at(int64_t i)
{
    std::wstring s = L"call-00000";
    for (int d = 9; d >= 5 && i > 0; --d, i /= 10) s[d] = static_cast<wchar_t>(L'0' + i % 10);
    return s;
}

// A new set of n int pairs (or 10-character string pairs).
CTkvs make_int_set(int64_t n);
CTkvs make_string_set(int64_t n);
void destroy(CTkvs kvs);

// The memory buffer MRQkvs_WriteToMemory gives for a set (frame included).
std::vector<uint8_t> encode(CTkvs kvs);

// A key order that visits every key of a set of n once, scrambled.
std::vector<CTsymbol> scrambled_keys(int64_t n);

}  // namespace bench

#endif
