// Shared support for the store tests: a fixture that checks the registry is
// back where it started, a call helper that captures status and error symbol,
// and a readable rendering of a set's pairs (read straight from its list, so
// rendering never moves the set's cursor).
#ifndef KVSET_TESTS_UNIT_STORE_SUPPORT_H
#define KVSET_TESTS_UNIT_STORE_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/alloc_internal.h"
#include "store/model.h"
#include "store/registry.h"
#include "store/registry_internal.h"

namespace kvstest {

// A symbol no function writes: shows that nothing was written.
constexpr CTerror kUnwritten = 0xDEADBEEFu;

struct Outcome {
    CTstatus status;
    CTerror error;
    bool operator==(const Outcome &o) const { return status == o.status && error == o.error; }
    bool operator!=(const Outcome &o) const { return !(*this == o); }
};

inline const char *symbol_name(CTerror e)
{
    switch (e) {
    case CT_errorOK: return "CT_errorOK";
    case CT_errorInvalidKVSet: return "CT_errorInvalidKVSet";
    case CT_errorNoResource: return "CT_errorNoResource";
    case CT_errorNoSuchKey: return "CT_errorNoSuchKey";
    case CT_errorEndOfList: return "CT_errorEndOfList";
    case CT_errorBadParameter: return "CT_errorBadParameter";
    case kUnwritten: return "(not written)";
    default: return "?";
    }
}

inline void PrintTo(const Outcome &o, std::ostream *os)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", o.error);
    *os << "{status " << o.status << ", " << symbol_name(o.error) << " " << hex << "}";
}

inline Outcome ok() { return {CT_statusOK, CT_errorOK}; }
inline Outcome warning(CTerror e) { return {CT_statusWarning, e}; }
inline Outcome fail(CTerror e) { return {CT_statusFail, e}; }

// Calls f(args..., &error) and captures what it answered.
template <class F, class... A>
Outcome run(F f, A... args)
{
    CTerror e = kUnwritten;
    CTstatus s = f(args..., &e);
    return {s, e};
}

// The wide string put under one unambiguous name (C++ also has a narrow overload).
inline CTstatus PutWide(CTkvs kvs, CTsymbol key, const wchar_t *value, CTerror *error)
{
    return CTkvs_PutString(kvs, key, value, error);
}

inline bool registered(CTkvs h) { return kvs::registry_find(h) != nullptr; }

// Renders a set as "key:type/count=value; ..." with a '*' before the current
// pair. Nested sets render as {...}; an unregistered nested handle as <dead>.
std::string describe(CTkvs h);

inline std::string hex(std::uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "%X", v);
    return b;
}

inline std::string wide_text(const wchar_t *s)
{
    if (s == nullptr) return "null";
    std::string out = "\"";
    for (; *s != 0; ++s) {
        if (*s >= 0x20 && *s < 0x7F)
            out += static_cast<char>(*s);
        else
            out += "\\u{" + hex(static_cast<std::uint32_t>(*s)) + "}";
    }
    return out + "\"";
}

inline std::string describe_value(const KVPairNode *n)
{
    const void *v = n->value;
    if (v == nullptr) return "null";
    auto u32 = static_cast<const std::uint32_t *>(v);
    auto i32 = static_cast<const std::int32_t *>(v);
    auto list = [&](auto element) {
        std::string out = "[";
        for (std::int32_t i = 0; i < n->count; ++i) out += (i ? "," : "") + element(i);
        return out + "]";
    };
    switch (n->type) {
    case KV_TYPE_INT: return std::to_string(*i32);
    case KV_TYPE_CHAR: return "'" + hex(*static_cast<const std::uint16_t *>(v)) + "'";
    case KV_TYPE_IRANGE: return std::to_string(i32[0]) + ".." + std::to_string(i32[1]);
    case KV_TYPE_STRING: return wide_text(static_cast<const wchar_t *>(v));
    case KV_TYPE_KVS: return describe(*u32);
    case KV_TYPE_BYTE_ARRAY:
        return list([&](std::int32_t i) { return hex(static_cast<const std::uint8_t *>(v)[i]); });
    case KV_TYPE_INT_ARRAY: return list([&](std::int32_t i) { return std::to_string(i32[i]); });
    case KV_TYPE_IRANGE_ARRAY:
        return list([&](std::int32_t i) { return std::to_string(i32[2 * i]) + ".." + std::to_string(i32[2 * i + 1]); });
    case KV_TYPE_STRING_ARRAY:
        return list([&](std::int32_t i) { return wide_text(static_cast<wchar_t *const *>(v)[i]); });
    case KV_TYPE_KVS_ARRAY: return list([&](std::int32_t i) { return u32[i] == 0 ? std::string("0") : describe(u32[i]); });
    default:
        if (n->type > 100) return list([&](std::int32_t i) { return hex(u32[i]); });
        return hex(*u32);
    }
}

inline std::string describe(CTkvs h)
{
    const kvs::KVSetHeader *set = kvs::registry_find(h);
    if (set == nullptr) return "<dead>";
    std::string out = "{";
    for (const KVPairNode *n = set->first; n != nullptr; n = n->next) {
        if (n != set->first) out += "; ";
        if (n == set->current) out += "*";
        out += hex(n->key) + ":" + std::to_string(n->type) + "/" + std::to_string(n->count) + "=" + describe_value(n);
    }
    return out + "}";
}

// Puts one pair of every value type into h (keys 0x100 upwards), with values
// that expose byte-wise shortcuts: zero low bytes, first characters of U+0080
// and above, absent strings, empty arrays and empty KV-Set slots. `nested`
// is stored as a nested set and as KV-Set array elements.
inline void fill_every_type(CTkvs h, CTkvs nested)
{
    CTerror e = 0;
    CTsymbol k = 0x100;
    CTkvs_PutBool(h, k++, 1, &e);
    CTkvs_PutConference(h, k++, 0x200, &e);
    CTkvs_PutGroup(h, k++, 3, &e);
    CTkvs_PutInt(h, k++, -4, &e);
    CTkvs_PutMode(h, k++, 1, &e);
    CTkvs_PutSession(h, k++, 0x60000, &e);
    CTkvs_PutService(h, k++, 7, &e);
    CTkvs_PutStatus(h, k++, 3, &e);
    CTkvs_PutSymbol(h, k++, 0x12345678, &e);
    CTkvs_PutError(h, k++, CT_errorNoSuchKey, &e);
    CTkvs_PutTime(h, k++, 10, &e);
    CTkvs_PutUint(h, k++, 0xFFFFFFFF, &e);
    CTkvs_PutStream(h, k++, 12, &e);
    CTkvs_PutConnection(h, k++, 13, &e);
    CTkvs_PutChar(h, k++, 0x1E9, &e);
    CTkvs_PutIrange(h, k++, -1, 0x100, &e);
    CTkvs_PutString(h, k++, L"\u00e9l\u00e8ve", &e);
    CTkvs_PutString(h, k++, static_cast<const wchar_t *>(nullptr), &e);
    CTkvs_PutString(h, k++, L"", &e);
    CTkvs_PutKVS(h, k++, nested, &e);
    const uint32_t u[] = {0x100, 2};
    const int32_t i[] = {-1, 0x100};
    const uint8_t b[] = {0, 0xFF, 7};
    const struct_Irange r[] = {{-5, 5}, {0x100, 0x200}};
    const wchar_t *s[] = {L"\u0100", nullptr, L"x"};
    const CTkvs n[] = {nested, 0, nested};
    CTkvs_PutBoolArray(h, k++, u, 2, &e);
    CTkvs_PutByteArray(h, k++, b, 3, &e);
    CTkvs_PutCONFArray(h, k++, u, 2, &e);
    CTkvs_PutGRPArray(h, k++, u, 2, &e);
    CTkvs_PutIntArray(h, k++, i, 2, &e);
    CTkvs_PutIntArray(h, k++, i, 0, &e);
    CTkvs_PutIrangeArray(h, k++, r, 2, &e);
    CTkvs_PutKVSArray(h, k++, n, 3, &e);
    CTkvs_PutModeArray(h, k++, u, 2, &e);
    CTkvs_PutSESArray(h, k++, u, 2, &e);
    CTkvs_PutServiceArray(h, k++, u, 2, &e);
    CTkvs_PutStatusArray(h, k++, u, 2, &e);
    CTkvs_PutStringArray(h, k++, s, 3, &e);
    CTkvs_PutSymbolArray(h, k++, u, 2, &e);
    CTkvs_PutErrorArray(h, k++, u, 2, &e);
    CTkvs_PutCONNArray(h, k++, u, 2, &e);
    CTkvs_PutUintArray(h, k++, u, 2, &e);
    CTkvs_PutTimeArray(h, k++, u, 2, &e);
    EXPECT_EQ(MRQkvs_GetNumPairs(h), static_cast<int32_t>(k - 0x100)) << "every put of fill_every_type succeeds";
}

// Nested sets that fill_every_type stores, and the key of its nested pair.
constexpr std::uint32_t kNestedInEveryType = 3;
constexpr CTsymbol kEveryTypeNestedKey = 0x113;

// Every store test leaves the registry as it found it (registered sets are
// invisible to leak checkers) and the allocation seam disarmed.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { start_ = MRQkvs_GetNumKVS(); }

    void TearDown() override
    {
        kvs::test::disarm_allocation_failures();
        kvs::test::set_registry_capacity(0);
        CTerror e = 0;
        for (CTkvs h : made_) CTkvs_Destroy(h, &e);
        made_.clear();
        EXPECT_EQ(MRQkvs_GetNumKVS(), start_) << "KV-Sets left registered";
    }

    // A new empty set, destroyed at tear-down unless the test destroys it
    // through destroy().
    CTkvs make()
    {
        CTkvs h = 0;
        CTerror e = 0;
        EXPECT_EQ(CTkvs_Create(&h, &e), CT_statusOK);
        EXPECT_EQ(e, CT_errorOK);
        made_.push_back(h);
        return h;
    }

    Outcome destroy(CTkvs h)
    {
        for (auto it = made_.begin(); it != made_.end(); ++it)
            if (*it == h) {
                made_.erase(it);
                break;
            }
        return run(CTkvs_Destroy, h);
    }

    std::uint32_t start_ = 0;
    std::vector<CTkvs> made_;
};

}  // namespace kvstest

#endif
