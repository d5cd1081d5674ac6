// A readable rendering of a set's pairs for comparisons in tests, read
// straight from its list, so rendering never moves the set's cursor.
#ifndef KVSET_TESTS_SUPPORT_DESCRIBE_H
#define KVSET_TESTS_SUPPORT_DESCRIBE_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "kvset/ctkvs.h"
#include "store/model.h"
#include "store/registry.h"

namespace kvs::test {

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
    const void *v = n->value();
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

}  // namespace kvs::test

#endif
