// Copy (a merge of one set into another) and match (equality of two sets).
#include "store/call.h"
#include "store/compare_values.h"
#include "store/registry.h"
#include "store/store.h"
#include "store/types.h"

namespace kvs {
namespace {

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
        const TypeInfo *info = type_info(p->type);
        if (info == nullptr) {
            if (p->value() != q->value()) return false;
            continue;
        }
        const auto nested = [](CTkvs x, CTkvs y) -> std::int32_t { return sets_equal(x, y) ? 0 : 1; };
        if (compare_values(*info, p->count, p->value(), q->value(), nested) != 0) return false;
    }
    return p == nullptr && q == nullptr;
}

}  // namespace

CTstatus copy_pairs(KVSetHeader *target, const KVSetHeader *source, CTerror *error)
{
    for (const KVPairNode *node = source->first; node != nullptr; node = node->next) {
        const TypeInfo *info = type_info(node->type);
        if (info == nullptr) return answer(error, CT_errorInvalidKVSet, CT_statusWarning);
        CTstatus status;
        switch (info->shape) {
        case Shape::String:
            status = put_string(target, node->key, static_cast<const wchar_t *>(node->value()), error);
            break;
        case Shape::StringArray:
            status = put_string_array(target, node->key, static_cast<const wchar_t *const *>(node->value()),
                                      static_cast<std::uint32_t>(node->count), error);
            break;
        case Shape::Nested:
            status = put_nested(target, node->key, *static_cast<const CTkvs *>(node->value()), error);
            break;
        case Shape::NestedArray:
            status = put_nested_array(target, node->key, static_cast<const CTkvs *>(node->value()),
                                      static_cast<std::uint32_t>(node->count), error);
            break;
        default:
            status = put_block(target, node->key, info->storedCode, node->count, node->value(),
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
