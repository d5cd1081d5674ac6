#include "store/key_index.h"

#include "store/alloc.h"

namespace kvs {

// Open addressing with linear probing; a removed slot becomes a tombstone,
// and the table is rebuilt when live entries and tombstones pass half of it.
struct KeyIndex {
    std::uint32_t mask;     // capacity - 1; capacity is a power of two
    std::uint32_t live;     // nodes in the table
    std::uint32_t used;     // live + tombstones
    KVPairNode **slots;
};

namespace {

KVPairNode *const kTombstone = reinterpret_cast<KVPairNode *>(std::uintptr_t{1});

inline std::uint32_t slot_of(std::uint32_t key, std::uint32_t mask)
{
    // Fibonacci hashing spreads the structured bits of S.100 symbols.
    return static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

void insert_fresh(KeyIndex *index, KVPairNode *node)
{
    std::uint32_t i = slot_of(node->key, index->mask);
    while (index->slots[i] != nullptr && index->slots[i] != kTombstone) i = (i + 1) & index->mask;
    if (index->slots[i] == nullptr) ++index->used;
    index->slots[i] = node;
    ++index->live;
}

void free_index(KeyIndex *index)
{
    if (index == nullptr) return;
    mem_free(index->slots);
    mem_free(index);
}

// A new index over every node of the list with room for twice the pairs;
// null when memory could not be obtained.
KeyIndex *build(const KVSetHeader *set)
{
    std::uint32_t capacity = 64;
    while (capacity < static_cast<std::uint32_t>(set->pairCount) * 4u) capacity <<= 1;
    auto *index = static_cast<KeyIndex *>(mem_calloc(1, sizeof(KeyIndex)));
    if (index == nullptr) return nullptr;
    index->slots = static_cast<KVPairNode **>(mem_calloc(capacity, sizeof(KVPairNode *)));
    if (index->slots == nullptr) {
        mem_free(index);
        return nullptr;
    }
    index->mask = capacity - 1;
    for (KVPairNode *n = set->first; n != nullptr; n = n->next) insert_fresh(index, n);
    return index;
}

}  // namespace

KVPairNode *index_find(const KeyIndex *index, std::uint32_t key)
{
    std::uint32_t i = slot_of(key, index->mask);
    for (;;) {
        KVPairNode *n = index->slots[i];
        if (n == nullptr) return nullptr;
        if (n != kTombstone && n->key == key) return n;
        i = (i + 1) & index->mask;
    }
}

void index_appended(KVSetHeader *set, KVPairNode *node)
{
    if (set->index == nullptr) {
        if (set->pairCount > kIndexThreshold) set->index = build(set);
        return;
    }
    KeyIndex *index = set->index;
    if ((index->used + 1) * 2 > index->mask + 1) {
        // Rebuild bigger (this also sweeps the tombstones); node is already listed.
        KeyIndex *grown = build(set);
        free_index(index);
        set->index = grown;  // null on failure: lookups walk the list
        return;
    }
    insert_fresh(index, node);
}

void index_removing(KVSetHeader *set, const KVPairNode *node)
{
    KeyIndex *index = set->index;
    if (index == nullptr) return;
    std::uint32_t i = slot_of(node->key, index->mask);
    while (index->slots[i] != nullptr) {
        if (index->slots[i] == node) {
            index->slots[i] = kTombstone;
            --index->live;
            return;
        }
        i = (i + 1) & index->mask;
    }
}

void index_drop(KVSetHeader *set)
{
    free_index(set->index);
    set->index = nullptr;
}

}  // namespace kvs
