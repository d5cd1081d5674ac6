// Iteration over the one cursor, the type query, removal and clear.
#include "store/call.h"
#include "store/pairs.h"
#include "store/registry.h"
#include "store/store.h"

namespace kvs {
namespace {

// The pair a walk delivers next: the first for CT_keyFirst, else the one
// after the current pair; null at the end (or with no current pair).
KVPairNode *next_candidate(const KVSetHeader *set, CTsymbol cursor)
{
    if (cursor == CT_keyFirst) return set->first;
    return set->current == nullptr ? nullptr : set->current->next;
}

}  // namespace
}  // namespace kvs

using namespace kvs;

extern "C" {

CTstatus CTkvs_GetNextKey(CTkvs kvs, CTsymbol *key, uint32_t *type, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set, CT_errorNoResource);
    if (status != CT_statusOK) return status;
    if (key == nullptr || type == nullptr) return answer(error, CT_errorNoResource, CT_statusFail);
    KVPairNode *node = next_candidate(set, *key);
    if (node == nullptr) return answer(error, CT_errorEndOfList, CT_statusWarning);  // cursor stays
    set->current = node;
    *key = node->key;
    *type = node->type;
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_GetNext(CTkvs kvs, CTsymbol *cursor, CTsymbol *key, uint32_t *type, int32_t *count, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set, CT_errorNoResource);
    if (status != CT_statusOK) return status;
    if (cursor == nullptr || key == nullptr || type == nullptr || count == nullptr)
        return answer(error, CT_errorBadParameter, CT_statusFail);
    KVPairNode *node = next_candidate(set, *cursor);
    set->current = node;  // at the end the position moves past the last pair
    if (node == nullptr) return answer(error, CT_errorEndOfList, CT_statusWarning);
    *key = node->key;
    *cursor = node->key;
    *type = node->type;
    *count = node->count;
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus MRQkvs_PairAfter(CTkvs kvs, const CTsymbol *previous, CTsymbol *key, uint32_t *type, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set, CT_errorNoResource);
    if (status != CT_statusOK) return status;
    if (key == nullptr || type == nullptr) return answer(error, CT_errorBadParameter, CT_statusFail);
    KVPairNode *node = set->first;
    if (previous != nullptr) {
        KVPairNode *at = find_pair(set, *previous);
        if (at == nullptr) return answer(error, CT_errorNoSuchKey, CT_statusWarning);
        node = at->next;
    }
    if (node == nullptr) return answer(error, CT_errorEndOfList, CT_statusWarning);
    *key = node->key;  // the cursor is not touched
    *type = node->type;
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus MRQkvs_TypeOf(CTkvs kvs, CTsymbol key, uint32_t *type, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set, CT_errorNoResource);
    if (status != CT_statusOK) return status;
    if (type == nullptr) return answer(error, CT_errorBadParameter, CT_statusFail);
    const KVPairNode *node = find_pair(set, key);
    if (node == nullptr) return answer(error, CT_errorNoSuchKey, CT_statusWarning);
    *type = node->type;
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_GetType(CTkvs kvs, CTsymbol key, uint32_t *type, CTerror *error)
{
    // The type query looks the handle up without the signature check.
    if (error == nullptr) return CT_statusFail;
    KVSetHeader *set = registry_find(kvs);
    if (set == nullptr) return answer(error, CT_errorNoResource, CT_statusFail);
    if (type == nullptr) return answer(error, CT_errorBadParameter, CT_statusFail);
    KVPairNode *node = find_pair(set, key);
    if (node == nullptr) return answer(error, CT_errorNoSuchKey, CT_statusWarning);
    set->current = node;
    *type = node->type;
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_Remove(CTkvs kvs, const CTsymbol *keys, int32_t number, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set, CT_errorNoResource);
    if (status != CT_statusOK) return status;
    if (keys == nullptr && number > 0) return answer(error, CT_errorBadParameter, CT_statusFail);
    for (int32_t i = 0; i < number; ++i) {
        KVPairNode *node = find_pair(set, keys[i]);
        if (node != nullptr) remove_pair(set, node);
    }
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_Clear(CTkvs kvs, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set, CT_errorNoResource);
    if (status != CT_statusOK) return status;
    clear_pairs(set);
    return answer(error, CT_errorOK, CT_statusOK);
}

}  // extern "C"
