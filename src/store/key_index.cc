#include "store/key_index.h"

#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>

#include "store/alloc.h"
#include "store/mix.h"

namespace kvs {


namespace {

std::uint64_t random_seed()
{
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof seed)) return seed;
    // No entropy yet (early boot): the clock and this process's addresses.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return mix64(static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 32) ^
                 reinterpret_cast<std::uintptr_t>(&now) ^ reinterpret_cast<std::uintptr_t>(&random_seed));
}

// Drawn once at load. Reseeds draw from a second secret, so a test that
// fixes the first seed still gets unpredictable fresh ones.
std::atomic<std::uint64_t> g_seed{random_seed()};
const std::uint64_t g_reseedSecret = random_seed();
std::atomic<std::uint64_t> g_reseeds{0};

std::uint64_t fresh_seed()
{
    return mix64(g_reseedSecret + 0x9E3779B97F4A7C15ull * g_reseeds.fetch_add(1, std::memory_order_relaxed));
}


// Places a node that is not in the table yet; returns the slots walked.
std::uint32_t insert_fresh(KeyIndex *index, KVPairNode *node)
{
    std::uint32_t i = slot_of(index, node->key);
    std::uint32_t walked = 0;
    while (index->slots[i] != nullptr && index->slots[i] != kTombstone) {
        i = next_slot(index, i);
        ++walked;
    }
    if (index->slots[i] == nullptr) ++index->used;
    index->slots[i] = node;
    ++index->live;
    return walked;
}

void free_index(KeyIndex *index) { mem_free(index); }

// Slots for `pairs` pairs at a load of at most one half, so that probe runs
// stay short (and kProbeLimit is only passed by keys that collide on purpose).
std::uint32_t capacity_for(std::uint32_t pairs) { return std::max<std::uint32_t>(64, 2 * pairs); }

// A new index of `capacity` slots over every node of the list, under
// `seed`, or under fresh seeds while a node lands past kProbeLimit (a few
// attempts, each stopped early, so the cost stays linear); null when memory
// could not be obtained.
KeyIndex *build(const KVSetHeader *set, std::uint32_t capacity, std::uint64_t seed, std::uint32_t reseedFloor)
{
    constexpr int kAttempts = 4;
    auto *index = static_cast<KeyIndex *>(mem_calloc(1, sizeof(KeyIndex) + capacity * sizeof(KVPairNode *)));
    if (index == nullptr) return nullptr;
    index->slots = reinterpret_cast<KVPairNode **>(index + 1);
    index->capacity = capacity;
    index->seed = seed | 1u;
    index->reseedFloor = reseedFloor;
    for (int attempt = 1;; ++attempt) {
        KVPairNode *n = set->first;
        while (n != nullptr && (insert_fresh(index, n) <= kProbeLimit || attempt == kAttempts))
            n = n->next;
        if (n == nullptr) return index;
        std::memset(index->slots, 0, capacity * sizeof(KVPairNode *));
        index->live = index->used = 0;
        index->seed = fresh_seed() | 1u;
        index->reseedFloor = 2 * static_cast<std::uint32_t>(set->pairCount);
    }
}

// Built or grown for the pairs a set holds: room for twice as many.
std::uint32_t growth_capacity(const KVSetHeader *set)
{
    return capacity_for(2 * static_cast<std::uint32_t>(set->pairCount));
}

// Puts `fresh` in place of the set's index when it was obtained.
void replace_index(KVSetHeader *set, KeyIndex *fresh)
{
    if (fresh == nullptr) return;
    free_index(set->index);
    set->index = fresh;
}

}  // namespace

std::uint64_t index_seed() { return g_seed.load(std::memory_order_relaxed); }

void index_set_seed(std::uint64_t seed) { g_seed.store(seed, std::memory_order_relaxed); }

std::uint32_t index_longest_probe(const KeyIndex *index)
{
    // The longest run of occupied slots (wrapping round) bounds every walk.
    std::uint32_t longest = 0, run = 0;
    const std::uint32_t capacity = index->capacity;
    for (std::uint32_t k = 0; k < 2 * capacity; ++k) {
        run = index->slots[k % capacity] != nullptr ? run + 1 : 0;
        if (run > longest) longest = run;
    }
    return longest > capacity ? capacity : longest;
}

void index_appended(KVSetHeader *set, KVPairNode *node)
{
    KeyIndex *index = set->index;
    if (index == nullptr) {
        if (set->pairCount > kIndexThreshold) set->index = build(set, growth_capacity(set), index_seed(), 0);
        return;
    }
    if ((index->used + 1) * 2 > index->capacity) {
        // Rebuild bigger (this also sweeps the tombstones); node is already listed.
        KeyIndex *grown = build(set, growth_capacity(set), index->seed, index->reseedFloor);
        free_index(index);
        set->index = grown;  // null on failure: lookups walk the list
        return;
    }
    if (insert_fresh(index, node) > kProbeLimit && index->live >= index->reseedFloor)
        replace_index(set, build(set, index->capacity, fresh_seed(), 2 * index->live));  // kept as it is on failure
}

void index_removing(KVSetHeader *set, const KVPairNode *node)
{
    KeyIndex *index = set->index;
    if (index == nullptr) return;
    std::uint32_t i = slot_of(index, node->key);
    while (index->slots[i] != nullptr) {
        if (index->slots[i] == node) {
            index->slots[i] = kTombstone;
            --index->live;
            return;
        }
        i = next_slot(index, i);
    }
}

void index_reserve(KVSetHeader *set, std::uint32_t pairs)
{
    if (pairs <= static_cast<std::uint32_t>(kIndexThreshold)) return;
    const KeyIndex *index = set->index;
    if (index != nullptr && pairs <= index->capacity / 2) return;  // appends up to `pairs` fit already
    const std::uint64_t seed = index != nullptr ? index->seed : index_seed();
    replace_index(set, build(set, capacity_for(pairs), seed, index != nullptr ? index->reseedFloor : 0));
}

void index_drop(KVSetHeader *set)
{
    free_index(set->index);
    set->index = nullptr;
}

}  // namespace kvs
