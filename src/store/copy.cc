// Copy (a merge of one set into another) and match (equality of two sets).
#include <cstring>
#include <cwchar>

#include "store/call.h"
#include "store/registry.h"
#include "store/store.h"
#include "store/types.h"

namespace kvs {
namespace {

// Bytes of a fixed-size value block: one element for single values, count
// elements for arrays.
std::size_t block_bytes(const TypeInfo &info, std::int32_t count)
{
    if (!is_array_shape(info.shape)) return info.elementSize;
    return count <= 0 ? 0 : static_cast<std::size_t>(count) * info.elementSize;
}

bool strings_equal(const wchar_t *a, const wchar_t *b)
{
    if (a == nullptr || b == nullptr) return a == b;
    return std::wcscmp(a, b) == 0;
}

bool lists_match(const KVSetHeader *a, const KVSetHeader *b);

bool sets_equal(CTkvs a, CTkvs b)
{
    if (a == b) return true;
    if (a == 0 || b == 0) return false;
    KVSetHeader *ha = nullptr;
    KVSetHeader *hb = nullptr;
    if (registry_resolve(a, &ha) != CT_errorOK || registry_resolve(b, &hb) != CT_errorOK) return false;
    return lists_match(ha, hb);
}

bool lists_match(const KVSetHeader *a, const KVSetHeader *b)
{
    if (a->pairCount != b->pairCount) return false;
    const KVPairNode *p = a->first;
    const KVPairNode *q = b->first;
    for (; p != nullptr && q != nullptr; p = p->next, q = q->next) {
        if (p->key != q->key || p->count != q->count || p->type != q->type) return false;
        if (!values_equal(p->type, p->count, p->value, q->value)) return false;
    }
    return p == nullptr && q == nullptr;
}

}  // namespace

bool values_equal(std::uint32_t type, std::int32_t count, const void *a, const void *b)
{
    const TypeInfo *info = type_info(type);
    if (info == nullptr || a == nullptr || b == nullptr) return a == b;
    switch (info->shape) {
    case Shape::String:
        return strings_equal(static_cast<const wchar_t *>(a), static_cast<const wchar_t *>(b));
    case Shape::StringArray: {
        auto sa = static_cast<wchar_t *const *>(a);
        auto sb = static_cast<wchar_t *const *>(b);
        for (std::int32_t i = 0; i < count; ++i)
            if (!strings_equal(sa[i], sb[i])) return false;
        return true;
    }
    case Shape::Nested:
        return sets_equal(*static_cast<const CTkvs *>(a), *static_cast<const CTkvs *>(b));
    case Shape::NestedArray: {
        auto ha = static_cast<const CTkvs *>(a);
        auto hb = static_cast<const CTkvs *>(b);
        for (std::int32_t i = 0; i < count; ++i)
            if (!sets_equal(ha[i], hb[i])) return false;
        return true;
    }
    default:
        return std::memcmp(a, b, block_bytes(*info, count)) == 0;
    }
}

CTstatus copy_pairs(KVSetHeader *target, const KVSetHeader *source, CTerror *error)
{
    for (const KVPairNode *node = source->first; node != nullptr; node = node->next) {
        const TypeInfo *info = type_info(node->type);
        if (info == nullptr) return answer(error, CT_errorInvalidKVSet, CT_statusWarning);
        CTstatus status;
        switch (info->shape) {
        case Shape::String:
            status = put_string(target, node->key, static_cast<const wchar_t *>(node->value), error);
            break;
        case Shape::StringArray:
            status = put_string_array(target, node->key, static_cast<const wchar_t *const *>(node->value),
                                      static_cast<std::uint32_t>(node->count), error);
            break;
        case Shape::Nested:
            status = put_nested(target, node->key, *static_cast<const CTkvs *>(node->value), error);
            break;
        case Shape::NestedArray:
            status = put_nested_array(target, node->key, static_cast<const CTkvs *>(node->value),
                                      static_cast<std::uint32_t>(node->count), error);
            break;
        default:
            status = put_block(target, node->key, info->storedCode, node->count, node->value,
                               block_bytes(*info, node->count), error);
            break;
        }
        if (status != CT_statusOK) return status;
    }
    return CT_statusOK;
}

}  // namespace kvs

using namespace kvs;

extern "C" {

CTstatus CTkvs_Copy(CTkvs target, CTkvs source, CTerror *error)
{
    KVSetHeader *to = nullptr;
    KVSetHeader *from = nullptr;
    CTstatus status = open_set(target, error, &to);
    if (status != CT_statusOK) return status;
    status = open_set(source, error, &from);
    if (status != CT_statusOK) return status;
    if (from->pairCount < 0) return answer(error, CT_errorInvalidKVSet, CT_statusFail);
    if (from == to || !from->heldByPair) return copy_pairs(to, from, error);
    // The source is a nested copy lent by a get, perhaps from a pair of the
    // target that one of the puts below replaces (destroying the source in
    // mid-walk). Copy from a snapshot instead.
    CTkvs snapshot = 0;
    if (clone_set(from, from->level, &snapshot) != CT_errorOK) return answer(error, CT_errorNoResource, CT_statusWarning);
    status = copy_pairs(to, registry_find(snapshot), error);
    destroy_set_quietly(snapshot);
    return status;
}

CTstatus CTkvs_Match(CTkvs first, CTkvs second, uint32_t *result, CTerror *error)
{
    if (error == nullptr) return CT_statusFail;
    KVSetHeader *a = registry_find(first);
    KVSetHeader *b = registry_find(second);
    if (a == nullptr || b == nullptr) return answer(error, CT_errorNoResource, CT_statusFail);
    if (result == nullptr) return answer(error, CT_errorBadParameter, CT_statusFail);
    *result = lists_match(a, b) ? 1u : 0u;
    return answer(error, CT_errorOK, CT_statusOK);
}

}  // extern "C"
