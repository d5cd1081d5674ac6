// A per-set hash index from key to pair node, so keyed puts, gets, type
// queries and removals cost the same on a set of ten thousand pairs as on a
// set of eight. Small sets walk their list (cheaper below the threshold);
// the index is built once a set passes kIndexThreshold pairs and kept in step
// by append, remove and clear. Replacing a value in place keeps its node, so
// it needs no index update. The list stays the one record of pair order.
//
// The index is an optimisation only: when its memory cannot be obtained it
// is dropped and lookups walk the list, so no put ever fails because of it.
//
// Keys come from peers and files, so placement must not be predictable from
// outside: slots come from multiply-shift hashing (the top bits of the key
// times an odd 64-bit multiplier), a universal family when the multiplier is
// secret, and the multiplier is drawn at random once per process. Should keys still pile into one probe run (a seed that leaked,
// or plain bad luck), an insert that walks past kProbeLimit slots rebuilds the
// index under a fresh random seed; reseeds are allowed again only once the
// set has doubled, so their cost stays linear in the pairs stored.
#ifndef KVSET_SRC_STORE_KEY_INDEX_H
#define KVSET_SRC_STORE_KEY_INDEX_H

#include <cstdint>

#include "store/model.h"

namespace kvs {

// Pairs a set may hold before it gets an index (crossover measured by the benchmarks: see
// docs/performance.md).
constexpr std::int32_t kIndexThreshold = 16;

// Slots an insert may walk before the index is rebuilt under a new seed.
constexpr std::uint32_t kProbeLimit = 48;

// The keyed hash of a key; its top 32 bits, scaled to the table's size, choose the slot.
inline std::uint64_t index_hash(std::uint32_t key, std::uint64_t seed) { return key * (seed | 1u); }

// Open addressing with linear probing; a removed slot becomes a tombstone,
// and the table is rebuilt when live entries and tombstones pass half of it.
// The header and its slots are one heap block.
struct KeyIndex {
    std::uint32_t capacity;     // slots; any size (the hash is scaled to it, not masked)
    std::uint32_t live;         // nodes in the table
    std::uint32_t used;         // live + tombstones
    std::uint32_t reseedFloor;  // live nodes the set needs before it may be reseeded again
    std::uint64_t seed;         // of index_hash for this table, made odd: the multiplier itself
    KVPairNode **slots;         // right after this header
};

// A removed slot.
inline KVPairNode *const kTombstone = reinterpret_cast<KVPairNode *>(std::uintptr_t{1});

// The hash's top 32 bits scaled to the table: slot = top * capacity / 2^32.
inline std::uint32_t slot_of(const KeyIndex *index, std::uint32_t key)
{
    const std::uint64_t top = (key * index->seed) >> 32;  // index_hash, seed already odd
    return static_cast<std::uint32_t>((top * index->capacity) >> 32);
}

inline std::uint32_t next_slot(const KeyIndex *index, std::uint32_t i) { return i + 1 == index->capacity ? 0 : i + 1; }

// Test and benchmark hooks: the seed every new index starts from (random per
// process unless set), and the longest run of slots a lookup in this index
// may walk.
std::uint64_t index_seed();
void index_set_seed(std::uint64_t seed);
std::uint32_t index_longest_probe(const KeyIndex *index);

// The node with the key, through the index. Only call when set->index.
// Inline: it is the heart of every keyed call.
inline KVPairNode *index_find(const KeyIndex *index, std::uint32_t key)
{
    std::uint32_t i = slot_of(index, key);
    for (;;) {
        KVPairNode *n = index->slots[i];
        if (n == nullptr) return nullptr;
        if (n != kTombstone && n->key == key) return n;
        i = next_slot(index, i);
    }
}

// Keeps the index in step after `node` was appended to the list; builds the
// index when the set has just passed the threshold.
void index_appended(KVSetHeader *set, KVPairNode *node);

// Makes room for the set to hold `pairs` pairs without growing the index on
// the way (a decoder calls it with the pairs a block announces, bounded by
// the bytes that remain). Nothing happens for a set that stays small or whose
// index is large enough already; when memory cannot be obtained the index
// stays as it is and grows as pairs come.
void index_reserve(KVSetHeader *set, std::uint32_t pairs);

// Keeps the index in step before `node` leaves the list.
void index_removing(KVSetHeader *set, const KVPairNode *node);

// Drops the index (clear, destroy).
void index_drop(KVSetHeader *set);

}  // namespace kvs

#endif
