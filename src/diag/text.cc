// MRQKvs_AsText: the pairs of one KV-Set as "prefix key = value ;" lines,
// appended to a caller's buffer without ever overrunning it.
#include <cstdint>

#include "diag/names.h"
#include "diag/sink.h"
#include "kvset/ctkvs.h"
#include "store/model.h"
#include "store/registry.h"

namespace kvs {
namespace diag {
namespace {

std::uint32_t word(const KVPairNode &node)
{
    return node.value != nullptr ? *static_cast<const std::uint32_t *>(node.value) : 0;
}

// Booleans, signed and unsigned integers, symbols and strings are rendered;
// every other type is named as unsupported.
void render_value(Sink &out, const KVPairNode &node, NameBuffer &names)
{
    switch (node.type) {
    case KV_TYPE_BOOL: out.text(word(node) == 0 ? L"CT_boolFalse" : L"CT_boolTrue"); return;
    case KV_TYPE_INT: out.format(L"%d", static_cast<std::int32_t>(word(node))); return;
    case KV_TYPE_UINT: out.format(L"%u", word(node)); return;
    case KV_TYPE_SYMBOL: out.text(names.lookup(word(node))); return;
    case KV_TYPE_STRING: out.string(static_cast<const wchar_t *>(node.value)); return;
    default:
        out.text(L"Unsupported Type ");
        out.text(names.lookup(node.type));
        return;
    }
}

}  // namespace
}  // namespace diag
}  // namespace kvs

void MRQKvs_AsText(CTkvs kvs, wchar_t *text, int32_t size, const wchar_t *prefix)
{
    using namespace kvs::diag;
    if (text == nullptr || size < 1) return;
    BoundedSink out(text, static_cast<std::size_t>(size));
    kvs::KVSetHeader *header = nullptr;
    if (kvs::registry_resolve(kvs, &header) != CT_errorOK) {
        out.text(L"Invalid KV-Set");
        return;
    }
    if (prefix == nullptr) prefix = L"";
    NameBuffer names;
    for (const KVPairNode *node = header->first; node != nullptr; node = node->next) {
        out.text(prefix);
        out.text(names.lookup(node->key));
        out.text(L" = ");
        render_value(out, *node, names);
        out.text(L" ;\n");
    }
}
