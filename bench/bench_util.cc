#include "bench_util.h"

#include <algorithm>
#include <random>

namespace bench {

CTkvs make_int_set(int64_t n)
{
    CTkvs kvs = 0;
    CTerror e = 0;
    CTkvs_Create(&kvs, &e);
    for (int64_t i = 0; i < n; ++i) CTkvs_PutInt(kvs, key_at(i), static_cast<int32_t>(i), &e);
    return kvs;
}

CTkvs make_string_set(int64_t n)
{
    CTkvs kvs = 0;
    CTerror e = 0;
    CTkvs_Create(&kvs, &e);
    for (int64_t i = 0; i < n; ++i) CTkvs_PutString(kvs, key_at(i), text_at(i).c_str(), &e);
    return kvs;
}

void destroy(CTkvs kvs)
{
    CTerror e = 0;
    CTkvs_Destroy(kvs, &e);
}

std::vector<uint8_t> encode(CTkvs kvs)
{
    uint8_t *buffer = nullptr;
    uint32_t length = 0;
    CTerror e = 0;
    MRQkvs_WriteToMemory(&buffer, kvs, &length, &e);
    std::vector<uint8_t> bytes(buffer, buffer + length);
    MRQkvs_FreeBuffer(buffer);
    return bytes;
}

std::vector<CTsymbol> scrambled_keys(int64_t n)
{
    std::vector<CTsymbol> keys;
    for (int64_t i = 0; i < n; ++i) keys.push_back(key_at(i));
    std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
    return keys;
}

}  // namespace bench
