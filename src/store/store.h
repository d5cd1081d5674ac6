// The store's internal API for the other subsystems: creating and destroying
// sets, finding pairs, and the puts on an already resolved header (so a
// codec or a copy resolves each handle once, not once per pair).
// None of these takes the registry mutex except where a handle is resolved.
#ifndef KVSET_SRC_STORE_STORE_H
#define KVSET_SRC_STORE_STORE_H

#include <cstddef>
#include <cstdint>

#include "kvset/ctkvs.h"
#include "store/key_index.h"
#include "store/model.h"

namespace kvs {

// Creates and registers an empty set at nesting `level` (0 for a set the
// caller holds; a set a pair will own is one level below its holder).
// CT_errorOK, or CT_errorNoResource (header not obtained, or no handle could
// be registered).
CTerror create_set(CTkvs *handle, std::int32_t level = 0);

// True when a set at `level` may exist: a set the caller created holds at
// most KVS_MAX_NESTING levels of nested sets below it, the depth every block
// reader and writer accepts and every walk handles on a small stack.
inline bool level_allowed(std::int32_t level) { return level <= KVS_MAX_NESTING; }

// Destroys a set and everything it owns; the result is not reported (used
// when a pair's value is released).
void destroy_set_quietly(CTkvs handle);

// Makes a new registered set at `level` holding a deep copy of `source`'s
// pairs. CT_errorOK with *copy set; on failure nothing stays registered, *copy
// is 0 and the symbol says why: CT_errorNoResource, or CT_errorBadParameter
// when the copy would nest deeper than level_allowed() permits.
CTerror clone_set(const KVSetHeader *source, std::int32_t level, CTkvs *copy);

// The pair with the key, whatever its type, or null: through the index when
// the set has one, else along the list.
inline KVPairNode *find_pair(const KVSetHeader *set, CTsymbol key)
{
    if (set->index != nullptr) return index_find(set->index, key);
    for (KVPairNode *n = set->first; n != nullptr; n = n->next)
        if (n->key == key) return n;
    return nullptr;
}

// The pair with the key and exactly this type code, or null.
inline KVPairNode *find_typed(const KVSetHeader *set, CTsymbol key, std::uint32_t type)
{
    KVPairNode *n = find_pair(set, key);  // keys are unique: at most one candidate
    return (n != nullptr && n->type == type) ? n : nullptr;
}

// Releases a value block and what it owns (strings, nested sets).
void release_value(std::uint32_t type, std::int32_t count, void *value);

// Puts on a resolved header. Each writes the error symbol and returns the
// status of the exported put it backs; arguments are already checked.
// Fixed-size values and arrays: `bytes` bytes are copied from `data`.
CTstatus put_block(KVSetHeader *set, CTsymbol key, std::uint32_t type, std::int32_t count,
                   const void *data, std::size_t bytes, CTerror *error);
CTstatus put_string(KVSetHeader *set, CTsymbol key, const wchar_t *value, CTerror *error);
CTstatus put_nested(KVSetHeader *set, CTsymbol key, CTkvs nested, CTerror *error);
CTstatus put_string_array(KVSetHeader *set, CTsymbol key, const wchar_t *const *strings,
                          std::uint32_t count, CTerror *error);
CTstatus put_nested_array(KVSetHeader *set, CTsymbol key, const CTkvs *handles, std::uint32_t count,
                          CTerror *error);

// Converts a narrow string under the current locale into a new wide string
// (released with mem_free). CT_errorOK, CT_errorBadParameter when the locale
// cannot convert it, or CT_errorNoResource.
CTerror widen_narrow(const char *text, wchar_t **wide);

// Merges every pair of source into target through the puts above. Stops at
// the first put that fails and returns its status (symbol written).
CTstatus copy_pairs(KVSetHeader *target, const KVSetHeader *source, CTerror *error);

}  // namespace kvs

#endif
