// The shared entry and exit of every exported store function: the error
// reference check, the one registry lookup, and the result writer.
#ifndef KVSET_SRC_STORE_CALL_H
#define KVSET_SRC_STORE_CALL_H

#include "kvset/ctkvs.h"
#include "store/model.h"
#include "store/registry.h"

namespace kvs {

// Writes the symbol and returns the status: the one way results leave.
inline CTstatus answer(CTerror *error, CTerror symbol, CTstatus status)
{
    *error = symbol;
    return status;
}

// open_set's slow path: the lookup in the map under the registry mutex. The
// header, with CT_errorOK written; or null, with the failure's symbol
// written (open_set's status is then 3).
KVSetHeader *open_set_locked(CTkvs kvs, CTerror *error, CTerror unregistered);

// Opens a call on a handle. A null error reference gives 3 and writes
// nothing. An unregistered handle gives 3 with `unregistered` (most calls
// report CT_errorInvalidKVSet, the walkers CT_errorNoResource); a broken
// signature gives 3 with CT_errorInvalidKVSet. On success writes CT_errorOK,
// sets *header and returns 0. Inline: with a cached handle this is the whole
// lookup of a call.
inline CTstatus open_set(CTkvs kvs, CTerror *error, KVSetHeader **header,
                         CTerror unregistered = CT_errorInvalidKVSet)
{
    if (error == nullptr) return CT_statusFail;
    KVSetHeader *found = nullptr;
    if (cache_read(kvs, &found)) {
        *error = CT_errorOK;
    } else {
        found = open_set_locked(kvs, error, unregistered);
        if (found == nullptr) return CT_statusFail;
    }
    *header = found;
    return CT_statusOK;
}

}  // namespace kvs

#endif
