// Pair-list surgery on one header: storing a value under a key (replace in
// place or append), removing one pair, clearing them all.
#ifndef KVSET_SRC_STORE_PAIRS_H
#define KVSET_SRC_STORE_PAIRS_H

#include <cstddef>
#include <cstdint>

#include "kvset/ctkvs.h"
#include "store/model.h"

namespace kvs {

// Stores a filled value block under the key and takes it over in every
// case: on failure (no node for a new pair: 1, CT_errorNoResource) it is
// released. On success the stored pair becomes the current pair.
CTstatus store_pair(KVSetHeader *set, CTsymbol key, std::uint32_t type, std::int32_t count, void *value,
                    CTerror *error);

// Stores a single value (at most 8 bytes, an inline shape) in the pair node
// itself: replace in place, or append a new node (1, CT_errorNoResource when
// none is obtained). On success the stored pair becomes the current pair.
CTstatus store_inline(KVSetHeader *set, CTsymbol key, std::uint32_t type, std::int32_t count, const void *data,
                      std::size_t bytes, CTerror *error);

// A new unlinked node for the key, or null (allocation failed). With
// tailBytes, the node's allocation holds that many bytes after the node for
// its value (Where::Tail, value() points there); without, its value is an
// absent block until set. Released by delete_node, tail and all.
KVPairNode *new_node(CTsymbol key, std::uint32_t type, std::int32_t count, std::size_t tailBytes = 0);

// Links a filled node for a key the set does not hold at the end of the list
// and makes it the current pair. Allocates nothing that can fail it: the key
// index only grows when it can.
void append_node(KVSetHeader *set, KVPairNode *node);

// Unlinks one pair, releases it and its value; the current pair becomes the
// pair that followed it.
void remove_pair(KVSetHeader *set, KVPairNode *node);

// Releases every pair; the set is left empty with no current pair.
void clear_pairs(KVSetHeader *set);

}  // namespace kvs

#endif
