// Create, destroy, validate and the counts over the registry.
#include <cstring>

#include "store/call.h"
#include "store/pairs.h"
#include "store/registry.h"
#include "store/store.h"

namespace kvs {

KVSetHeader *open_set_locked(CTkvs kvs, CTerror *error, CTerror unregistered)
{
    const Resolved found = registry_resolve_locked(kvs);
    *error = found.header == nullptr ? unregistered : found.verdict;
    return *error == CT_errorOK ? found.header : nullptr;
}

CTerror create_set(CTkvs *handle, std::int32_t level)
{
    KVSetHeader *header = nullptr;
    return registry_add(level, handle, &header);
}

// Clears and unregisters one set (wiping the signature); its header goes back
// to the registry's free list.
static CTstatus destroy_resolved(CTkvs kvs, KVSetHeader *header)
{
    clear_pairs(header);
    registry_remove(kvs);
    return CT_statusOK;
}

void destroy_set_quietly(CTkvs handle)
{
    KVSetHeader *header = nullptr;
    if (registry_resolve(handle, &header) == CT_errorOK) destroy_resolved(handle, header);
}

CTerror clone_set(const KVSetHeader *source, std::int32_t level, CTkvs *copy)
{
    *copy = 0;
    if (!level_allowed(level)) return CT_errorBadParameter;
    CTkvs fresh = 0;
    if (create_set(&fresh, level) != CT_errorOK) return CT_errorNoResource;
    KVSetHeader *target = registry_find(fresh);
    CTerror verdict = CT_errorNoResource;
    if (target == nullptr || copy_pairs(target, source, &verdict) != CT_statusOK) {
        destroy_set_quietly(fresh);
        return verdict == CT_errorBadParameter ? verdict : CT_errorNoResource;
    }
    *copy = fresh;
    return CT_errorOK;
}

}  // namespace kvs

using namespace kvs;

extern "C" {

CTstatus CTkvs_Create(CTkvs *kvs, CTerror *error)
{
    if (error == nullptr || kvs == nullptr) {
        if (error != nullptr) *error = CT_errorBadParameter;
        return CT_statusFail;
    }
    // The handle is written once a header was obtained: 0 when it could not
    // be registered, untouched when no header was obtained.
    CTerror verdict = create_set(kvs);
    if (verdict != CT_errorOK) return answer(error, verdict, CT_statusWarning);
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_Destroy(CTkvs kvs, CTerror *error)
{
    KVSetHeader *header = nullptr;
    CTstatus status = open_set(kvs, error, &header);
    if (status != CT_statusOK) return status;
    return answer(error, CT_errorOK, destroy_resolved(kvs, header));
}

CTerror ValidateKVS(CTkvs kvs)
{
    KVSetHeader *header = nullptr;
    return registry_resolve(kvs, &header);
}

int32_t MRQkvs_GetNumPairs(CTkvs kvs)
{
    KVSetHeader *header = registry_find(kvs);
    return header == nullptr ? 0 : header->pairCount;
}

uint32_t MRQkvs_GetNumKVS(void) { return registry_count(); }

uint32_t MRQkvs_GetNewestKVSets(CTkvs *handles, int32_t count)
{
    if (handles != nullptr && count > 0) registry_newest(handles, count);
    return 0;
}

uint32_t CTkvs_NameString(void) { return 0; }
uint32_t CTkvs_ObjectVendor(void) { return 0; }

}  // extern "C"
