// The process-wide registry: handle -> header. The map is guarded by one ACE
// mutex and is the one authority on which handles are registered. Lookups of
// a registered handle are answered without a lock and without a locked
// instruction from a cache in front of it (registry_cache.h); a miss takes
// the mutex. Changes take the mutex for one step; none of these is called
// with it held.
//
// Headers are never returned to the heap while the library is loaded: a
// destroyed set's header goes to a free list and the next create reuses it,
// so a lookup racing with a destroy reads memory that is still a header.
// They are released at unload, unless sets are still registered then.
#ifndef KVSET_SRC_STORE_REGISTRY_H
#define KVSET_SRC_STORE_REGISTRY_H

#include <cstdint>

#include "kvset/ctkvs.h"
#include "store/model.h"
#include "store/registry_cache.h"

namespace kvs {

// What a lookup found: the registered header (null when none) and the
// verdict of the signature check (CT_errorOK or CT_errorInvalidKVSet).
struct Resolved {
    KVSetHeader *header;
    CTerror verdict;
};

// The lookups' slow path: the map under the mutex, then the signature check.
Resolved registry_resolve_locked(CTkvs kvs);
KVSetHeader *registry_find_locked(CTkvs kvs);

// One lookup and the signature check: the registered header (null when the
// handle is not registered) and CT_errorOK, or CT_errorInvalidKVSet when the
// handle is not registered or its signature fails.
inline Resolved registry_lookup(CTkvs kvs)
{
    KVSetHeader *hit = nullptr;
    return cache_read(kvs, &hit) ? Resolved{hit, CT_errorOK} : registry_resolve_locked(kvs);
}

// The same, with the header through a reference: *header is the registered
// header (even with a bad signature) or null.
inline CTerror registry_resolve(CTkvs kvs, KVSetHeader **header)
{
    const Resolved found = registry_lookup(kvs);
    *header = found.header;
    return found.verdict;
}

// The header of a registered handle, or null; no signature check.
inline KVSetHeader *registry_find(CTkvs kvs)
{
    KVSetHeader *hit = nullptr;
    return cache_read(kvs, &hit) ? hit : registry_find_locked(kvs);
}

// Takes a header (from the free list, or a new one), makes it an empty set
// at nesting `level` with its signature, and registers it under a new handle.
// CT_errorOK with *handle and *header set. CT_errorNoResource when no header
// could be obtained (*handle untouched) or when no handle could be registered
// (the registry is full, or its entry could not be allocated: *handle is 0).
CTerror registry_add(std::int32_t level, CTkvs *handle, KVSetHeader **header);

// Wipes the header's signature, removes the handle and puts the header on
// the free list, in one step. False when the handle was not registered.
bool registry_remove(CTkvs kvs);

std::uint32_t registry_count();

// Up to count handles in descending order; 0 past the last registered one.
void registry_newest(CTkvs *handles, std::int32_t count);

}  // namespace kvs

#endif
