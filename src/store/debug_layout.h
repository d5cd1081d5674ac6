// A description of the registry's and the sets' memory for debuggers: where
// the handle map is and the offsets of the fields a reader follows, so the
// GDB extension (src/gdb/libkvset-gdb.py) reads live sets and core files
// without the library's debug information. Found by its symbol,
// kvset_debug_layout, which is in the symbol table but not exported.
#ifndef KVSET_SRC_STORE_DEBUG_LAYOUT_H
#define KVSET_SRC_STORE_DEBUG_LAYOUT_H

#include <cstdint>

#include "kvset/export.h"

namespace kvs {

constexpr std::uint32_t kDebugLayoutMagic = 0x4453564Bu;  // "KVSD"
constexpr std::uint32_t kDebugLayoutVersion = 1;

// Every offset is in bytes. The handle map is a balanced tree; the reader
// walks it from the root through the left and right links of its nodes.
struct DebugLayout {
    std::uint32_t magic;
    std::uint32_t version;
    // The handle map's header node, null until the registry is built.
    const void *mapHeader;
    std::uint16_t treeParent, treeLeft, treeRight;  // links of a tree node
    std::uint16_t treeHandle, treeSet;              // the handle and the header pointer in a tree node
    std::uint16_t setPairCount, setFirst, setHeldByPair;
    std::uint16_t pairKey, pairType, pairCount, pairWhere, pairValue, pairNext;
    std::uint8_t whereInline;   // the `where` of a value inside the node
    std::uint8_t wcharSize;     // bytes per string character
    std::uint8_t pointerSize;
    std::uint8_t signatureSize;
};

// Called once by the registry when it is built.
void debug_layout_publish(const void *mapHeader);

}  // namespace kvs

extern "C" KVS_LOCAL kvs::DebugLayout kvset_debug_layout;

#endif
