// MRQkvs_Compare: a deep, three-way comparison of two KV-Sets in list order.
#include <cstdint>

#include "kvset/ctkvs.h"
#include "store/compare_values.h"
#include "store/model.h"
#include "store/registry.h"
#include "store/types.h"

namespace kvs {
namespace diag {
namespace {

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
        // A nested set's result, failure included, is the pair's result.
        const auto nested = [error](CTkvs x, CTkvs y) { return compare_sets(x, y, error); };
        const int32_t result = compare_values(*info, p->count, p->value(), q->value(), nested);
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
