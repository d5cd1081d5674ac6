// One comparison of two pair values of the same type and count, shape by
// shape, for CTkvs_Match (equality) and MRQkvs_Compare (a three-way result
// that can fail). Only nested sets differ between the two: the caller passes
// how two nested handles compare.
#ifndef KVSET_SRC_STORE_COMPARE_VALUES_H
#define KVSET_SRC_STORE_COMPARE_VALUES_H

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "kvset/ctkvs.h"
#include "store/types.h"

namespace kvs {

// Two absent strings are equal; an absent and a present one differ.
inline bool strings_differ(const wchar_t *a, const wchar_t *b)
{
    if (a == nullptr || b == nullptr) return a != b;
    return std::wcscmp(a, b) != 0;
}

// 0 when equal, 1 when different. `nested(a, b)` compares two nested set
// handles and answers 0, 1 or -1 (failed); a single nested set's answer is
// the value's answer, while any array element that is not equal makes the
// arrays differ.
template <class NestedCompare>
std::int32_t compare_values(const TypeInfo &info, std::int32_t count, const void *a, const void *b,
                            NestedCompare &&nested)
{
    if (a == nullptr || b == nullptr) return a == b ? 0 : 1;
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    switch (info.shape) {
    case Shape::String:
        return strings_differ(static_cast<const wchar_t *>(a), static_cast<const wchar_t *>(b)) ? 1 : 0;
    case Shape::StringArray: {
        const auto *sa = static_cast<wchar_t *const *>(a);
        const auto *sb = static_cast<wchar_t *const *>(b);
        for (std::size_t i = 0; i < n; ++i)
            if (strings_differ(sa[i], sb[i])) return 1;
        return 0;
    }
    case Shape::Nested:
        return nested(*static_cast<const CTkvs *>(a), *static_cast<const CTkvs *>(b));
    case Shape::NestedArray: {
        const auto *ha = static_cast<const CTkvs *>(a);
        const auto *hb = static_cast<const CTkvs *>(b);
        for (std::size_t i = 0; i < n; ++i)
            if (nested(ha[i], hb[i]) != 0) return 1;
        return 0;
    }
    default:
        return std::memcmp(a, b, block_bytes(info, count)) == 0 ? 0 : 1;
    }
}

}  // namespace kvs

#endif
