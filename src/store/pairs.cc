#include "store/pairs.h"

#include <cstring>

#include "store/alloc.h"
#include "store/call.h"
#include "store/key_index.h"
#include "store/registry.h"
#include "store/store.h"
#include "store/types.h"

namespace kvs {

void release_value(std::uint32_t type, std::int32_t count, void *value)
{
    if (value == nullptr) return;
    const TypeInfo *info = type_info(type);
    if (info != nullptr) {
        switch (info->shape) {
        case Shape::StringArray: {
            wchar_t **strings = static_cast<wchar_t **>(value);
            for (std::int32_t i = 0; i < count; ++i) mem_free(strings[i]);
            break;
        }
        case Shape::Nested:
            destroy_set_quietly(*static_cast<CTkvs *>(value));
            break;
        case Shape::NestedArray: {
            CTkvs *handles = static_cast<CTkvs *>(value);
            for (std::int32_t i = 0; i < count; ++i)
                if (handles[i] != 0) destroy_set_quietly(handles[i]);
            break;
        }
        default:
            break;
        }
    }
    mem_free(value);
}

namespace {

// Releases what a node's value owns; a value inside the node goes with it.
void release_node_value(KVPairNode *node)
{
    if (node->where == KVPairNode::Where::Block) release_value(node->type, node->count, node->block);
}

// Sets a pair's type, count and value block; the old value is released first.
void replace_value(KVSetHeader *set, KVPairNode *node, std::uint32_t type, std::int32_t count, void *value)
{
    release_node_value(node);
    node->type = type;
    node->count = count;
    node->where = KVPairNode::Where::Block;
    node->block = value;
    set->current = node;
}

}  // namespace

KVPairNode *new_node(CTsymbol key, std::uint32_t type, std::int32_t count, std::size_t tailBytes)
{
    auto *node = static_cast<KVPairNode *>(mem_malloc(sizeof(KVPairNode) + tailBytes));
    if (node != nullptr) {
        node->key = key;
        node->type = type;
        node->count = count;
        node->where = tailBytes != 0 ? KVPairNode::Where::Tail : KVPairNode::Where::Block;
        node->block = tailBytes != 0 ? node + 1 : nullptr;
        node->previous = nullptr;
        node->next = nullptr;
    }
    return node;
}

void append_node(KVSetHeader *set, KVPairNode *node)
{
    node->previous = set->last;
    if (set->last != nullptr)
        set->last->next = node;
    else
        set->first = node;
    set->last = node;
    set->current = node;
    ++set->pairCount;
    index_appended(set, node);
}

namespace {

// A pair takes over the nested sets of its value: they are marked as owned,
// whatever made them (a put's copy, a decoder, a copy), so a copy from a
// handle lent by a get knows it must read from a snapshot.
void adopt_nested(std::uint32_t type, std::int32_t count, const void *value)
{
    const TypeInfo *info = type_info(type);
    if (info == nullptr || value == nullptr || !is_nested_shape(info->shape)) return;
    const auto *handles = static_cast<const CTkvs *>(value);
    const std::int32_t n = info->shape == Shape::Nested ? 1 : count;
    for (std::int32_t i = 0; i < n; ++i) {
        KVSetHeader *nested = handles[i] == 0 ? nullptr : registry_find(handles[i]);
        if (nested != nullptr) nested->heldByPair = true;
    }
}

}  // namespace

CTstatus store_pair(KVSetHeader *set, CTsymbol key, std::uint32_t type, std::int32_t count, void *value,
                    CTerror *error)
{
    adopt_nested(type, count, value);
    KVPairNode *node = find_pair(set, key);
    if (node != nullptr) {
        // Replace in place: the old value goes before the new one is set.
        replace_value(set, node, type, count, value);
        return answer(error, CT_errorOK, CT_statusOK);
    }
    node = new_node(key, type, count);
    if (node == nullptr) {
        release_value(type, count, value);
        return answer(error, CT_errorNoResource, CT_statusWarning);
    }
    node->block = value;
    append_node(set, node);
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus store_inline(KVSetHeader *set, CTsymbol key, std::uint32_t type, std::int32_t count, const void *data,
                      std::size_t bytes, CTerror *error)
{
    // Taken first: data may be this very value (a set copied into itself).
    unsigned char staged[sizeof(KVPairNode::inlineValue)] = {};
    std::memcpy(staged, data, bytes);
    KVPairNode *node = find_pair(set, key);
    if (node != nullptr) {
        replace_value(set, node, type, count, nullptr);
    } else {
        // A put that finds its key allocates nothing, so only this can fail.
        node = new_node(key, type, count);
        if (node == nullptr) return answer(error, CT_errorNoResource, CT_statusWarning);
        append_node(set, node);
    }
    node->where = KVPairNode::Where::Inline;
    std::memcpy(node->inlineValue, staged, sizeof staged);
    return answer(error, CT_errorOK, CT_statusOK);
}

void remove_pair(KVSetHeader *set, KVPairNode *node)
{
    if (node->next == nullptr) set->last = node->previous;
    if (node->previous == nullptr) set->first = node->next;
    set->current = node->next;
    index_removing(set, node);
    release_node_value(node);
    delete_node(node);
    --set->pairCount;
}

void clear_pairs(KVSetHeader *set)
{
    index_drop(set);
    while (set->first != nullptr) {
        KVPairNode *node = set->first;
        release_node_value(node);
        set->first = delete_node(node);
    }
    set->current = nullptr;
    set->last = nullptr;
    set->pairCount = 0;
}

}  // namespace kvs

extern "C" KVPairNode *delete_node(KVPairNode *node)
{
    if (node == nullptr) return nullptr;
    KVPairNode *previous = node->previous;
    KVPairNode *next = node->next;
    if (previous != nullptr) previous->next = next;
    if (next != nullptr) next->previous = previous;
    kvs::mem_free(node);  // a value in the node's tail goes with it
    return next;
}
