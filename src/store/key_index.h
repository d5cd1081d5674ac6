// A per-set hash index from key to pair node, so keyed puts, gets, type
// queries and removals cost the same on a set of ten thousand pairs as on a
// set of eight. Small sets walk their list (cheaper below the threshold);
// the index is built once a set passes kIndexThreshold pairs and kept in step
// by append, remove and clear. Replacing a value in place keeps its node, so
// it needs no index update. The list stays the one record of pair order.
//
// The index is an optimisation only: when its memory cannot be obtained it
// is dropped and lookups walk the list, so no put ever fails because of it.
#ifndef KVSET_SRC_STORE_KEY_INDEX_H
#define KVSET_SRC_STORE_KEY_INDEX_H

#include <cstdint>

#include "store/model.h"

namespace kvs {

// Pairs a set may hold before it gets an index (crossover measured by the benchmarks: see
// docs/performance.md).
constexpr std::int32_t kIndexThreshold = 16;

// The node with the key, through the index. Only call when set->index.
KVPairNode *index_find(const KeyIndex *index, std::uint32_t key);

// Keeps the index in step after `node` was appended to the list; builds the
// index when the set has just passed the threshold.
void index_appended(KVSetHeader *set, KVPairNode *node);

// Keeps the index in step before `node` leaves the list.
void index_removing(KVSetHeader *set, const KVPairNode *node);

// Drops the index (clear, destroy).
void index_drop(KVSetHeader *set);

}  // namespace kvs

#endif
