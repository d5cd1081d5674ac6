#include "store/debug_layout.h"

#include <bits/stl_tree.h>

#include <cstddef>
#include <utility>

#include "kvset/ctkvs.h"
#include "store/model.h"

namespace {

using kvs::KVSetHeader;
using TreeNode = std::_Rb_tree_node_base;
using Entry = std::pair<const CTkvs, KVSetHeader *>;

// A map node holds its value right after the node links, aligned for it.
constexpr std::size_t kTreeValue = (sizeof(TreeNode) + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);

template <typename T>
constexpr std::uint16_t at(T offset)
{
    return static_cast<std::uint16_t>(offset);
}

}  // namespace

extern "C" {
__attribute__((used)) kvs::DebugLayout kvset_debug_layout = {
    kvs::kDebugLayoutMagic,
    kvs::kDebugLayoutVersion,
    nullptr,
    at(offsetof(TreeNode, _M_parent)),
    at(offsetof(TreeNode, _M_left)),
    at(offsetof(TreeNode, _M_right)),
    at(kTreeValue + offsetof(Entry, first)),
    at(kTreeValue + offsetof(Entry, second)),
    at(offsetof(KVSetHeader, pairCount)),
    at(offsetof(KVSetHeader, first)),
    at(offsetof(KVSetHeader, heldByPair)),
    at(offsetof(KVPairNode, key)),
    at(offsetof(KVPairNode, type)),
    at(offsetof(KVPairNode, count)),
    at(offsetof(KVPairNode, where)),
    at(offsetof(KVPairNode, block)),
    at(offsetof(KVPairNode, next)),
    static_cast<std::uint8_t>(KVPairNode::Where::Inline),
    static_cast<std::uint8_t>(sizeof(wchar_t)),
    static_cast<std::uint8_t>(sizeof(void *)),
    static_cast<std::uint8_t>(sizeof(KVSetHeader::signature)),
};
}

namespace kvs {

void debug_layout_publish(const void *mapHeader) { kvset_debug_layout.mapHeader = mapHeader; }

}  // namespace kvs
