// MRQkvs_Compare: a deep, three-way comparison of two KV-Sets in list order.
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "kvset/ctkvs.h"
#include "store/model.h"
#include "store/registry.h"
#include "store/types.h"

namespace kvs {
namespace diag {
namespace {

int32_t compare_sets(CTkvs first, CTkvs second, CTerror *error);

// Two absent strings are equal; an absent and a present one differ.
bool strings_differ(const wchar_t *a, const wchar_t *b)
{
    if (a == nullptr || b == nullptr) return a != b;
    return std::wcscmp(a, b) != 0;
}

// 0 when equal, 1 when different, -1 when a nested comparison failed.
int32_t compare_values(const TypeInfo &info, std::int32_t count, const void *a, const void *b, CTerror *error)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (info.shape == Shape::String)
        return strings_differ(static_cast<const wchar_t *>(a), static_cast<const wchar_t *>(b)) ? 1 : 0;
    if (a == nullptr || b == nullptr) return a == b ? 0 : 1;
    switch (info.shape) {
    case Shape::Nested:
        // A nested set's result, failure included, is the pair's result.
        return compare_sets(*static_cast<const CTkvs *>(a), *static_cast<const CTkvs *>(b), error);
    case Shape::NestedArray: {
        // Any element that is not equal, failed or not, makes the arrays differ.
        const auto *ha = static_cast<const CTkvs *>(a);
        const auto *hb = static_cast<const CTkvs *>(b);
        for (std::size_t i = 0; i < n; ++i)
            if (compare_sets(ha[i], hb[i], error) != 0) return 1;
        return 0;
    }
    case Shape::StringArray: {
        const auto *sa = static_cast<wchar_t *const *>(a);
        const auto *sb = static_cast<wchar_t *const *>(b);
        for (std::size_t i = 0; i < n; ++i)
            if (strings_differ(sa[i], sb[i])) return 1;
        return 0;
    }
    default: {
        const std::size_t bytes = is_array_shape(info.shape) ? n * info.elementSize : info.elementSize;
        return std::memcmp(a, b, bytes) == 0 ? 0 : 1;
    }
    }
}

int32_t compare_sets(CTkvs first, CTkvs second, CTerror *error)
{
    KVSetHeader *a = nullptr;
    KVSetHeader *b = nullptr;
    const CTerror firstValid = registry_resolve(first, &a);
    *error = firstValid;
    *error = registry_resolve(second, &b);
    if (firstValid != CT_errorOK || *error != CT_errorOK) {
        *error = CT_errorInvalidKVSet;
        return -1;
    }
    // Pairs are compared in step; a set that is a leading part of the other
    // compares equal.
    for (const KVPairNode *p = a->first, *q = b->first; p != nullptr && q != nullptr; p = p->next, q = q->next) {
        if (p->type != q->type || p->count != q->count || p->key != q->key) return 1;
        const TypeInfo *info = type_info(p->type);
        if (info == nullptr) {
            *error = CT_errorInvalidKVSet;
            return -1;
        }
        const int32_t result = compare_values(*info, p->count, p->value, q->value, error);
        if (result != 0) return result;
    }
    return 0;
}

}  // namespace
}  // namespace diag
}  // namespace kvs

int32_t MRQkvs_Compare(CTkvs kvs1, CTkvs kvs2, CTerror *error)
{
    if (error == nullptr) return -1;
    return kvs::diag::compare_sets(kvs1, kvs2, error);
}
