// The process-wide registry: handle -> header. The map is guarded by one ACE
// mutex; lookups of a registered handle are answered from a lock-free cache
// in front of it and take the mutex only on a miss. Changes take the mutex
// for one step; none of these is called with it held.
#ifndef KVSET_SRC_STORE_REGISTRY_H
#define KVSET_SRC_STORE_REGISTRY_H

#include <cstdint>

#include "kvset/ctkvs.h"
#include "store/model.h"

namespace kvs {

// One lookup and the signature check under one lock. Returns CT_errorOK, or
// CT_errorInvalidKVSet when the handle is not registered or its signature
// fails; *header is the registered header (even with a bad signature) or null.
CTerror registry_resolve(CTkvs kvs, KVSetHeader **header);

// The header of a registered handle, or null.
KVSetHeader *registry_find(CTkvs kvs);

// Registers a header under a new handle; 0 when none could be registered.
CTkvs registry_add(KVSetHeader *header);

// Wipes the header's signature and removes the handle, in one step. False
// when the handle was not registered.
bool registry_remove(CTkvs kvs);

std::uint32_t registry_count();

// Up to count handles in descending order; 0 past the last registered one.
void registry_newest(CTkvs *handles, std::int32_t count);

}  // namespace kvs

#endif
