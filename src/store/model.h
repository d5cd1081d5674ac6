// The in-memory model of a KV-Set: its header and the doubly linked list of
// pair nodes in insertion order, one node per key.
#ifndef KVSET_SRC_STORE_MODEL_H
#define KVSET_SRC_STORE_MODEL_H

#include <cstdint>

#include "kvset/ctkvs.h"

// One key/value pair. The node owns its value block (layout by type code,
// see types.h). Single values (scalars, a character, a range) live in the
// node itself: `value` then points at `inlineValue`, which saves a heap
// block and a pointer chase per pair.
struct KVPairNode {
    std::uint32_t key;
    std::uint32_t type;
    std::int32_t count;  // elements; 1 for single values, strings and sets, 2 for a range
    void *value;         // owned value block, inlineValue, or null (absent string)
    KVPairNode *previous;
    KVPairNode *next;
    alignas(8) unsigned char inlineValue[8];
};

namespace kvs {

// "KVS-Library rev. 2": 18 characters and the terminating zero.
constexpr char kSignature[] = "KVS-Library rev. 2";
constexpr int kSignatureChecked = 5;  // characters compared by the signature check

struct KeyIndex;  // key -> node, for sets past a few pairs (key_index.h)

struct KVSetHeader {
    char signature[sizeof(kSignature) + 1];
    std::int32_t pairCount;
    KVPairNode *first;
    KVPairNode *current;  // the set's one iteration position
    KVPairNode *last;
    KeyIndex *index;  // null for small sets
    bool heldByPair;  // owned by a pair of another set (put, copy, decode alike)
    std::int32_t level;  // nesting below the set the caller created (0 for that set)
};

}  // namespace kvs

#endif
