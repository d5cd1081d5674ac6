// The in-memory model of a KV-Set: its header and the doubly linked list of
// pair nodes in insertion order, one node per key.
#ifndef KVSET_SRC_STORE_MODEL_H
#define KVSET_SRC_STORE_MODEL_H

#include <cstdint>

#include "kvset/ctkvs.h"

// One key/value pair, 40 bytes (a 48-byte heap chunk). The node owns its
// value, which lives in one of three places, told by `where`:
//  - Block: a value block of its own (layout by type code, see types.h), or
//    null for an absent string;
//  - Inline: single values (scalars, a character, a range) in the node's
//    own 8 bytes, which hold the block pointer for the other places; this
//    saves a heap block and a pointer chase per pair;
//  - Tail: right after the node in the node's own allocation (a string a
//    decoder read into a new pair), released with the node.
// Read the value through value(); only the pair-list code (pairs.cc) sets it.
struct KVPairNode {
    enum class Where : std::uint8_t { Block, Inline, Tail };

    std::uint32_t key;
    std::uint32_t type;
    std::int32_t count;  // elements; 1 for single values, strings and sets, 2 for a range
    Where where;
    union {
        void *block;
        alignas(8) unsigned char inlineValue[8];
    };
    KVPairNode *previous;
    KVPairNode *next;

    void *value() { return where == Where::Inline ? static_cast<void *>(inlineValue) : block; }
    const void *value() const { return where == Where::Inline ? static_cast<const void *>(inlineValue) : block; }
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

static_assert(sizeof(KVPairNode) == 40, "a pair node fits a 48-byte heap chunk");

}  // namespace kvs

#endif
