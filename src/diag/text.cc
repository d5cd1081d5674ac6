// MRQKvs_AsText: the pairs of one KV-Set as "prefix key = value ;" lines,
// appended to a caller's buffer without ever overrunning it.
#include <cstdint>

#include "diag/names.h"
#include "diag/sink.h"
#include "kvset/ctkvs.h"
#include "store/model.h"
#include "store/registry.h"
#include "store/types.h"

namespace kvs {
namespace diag {
namespace {

std::uint32_t word(const KVPairNode &node)
{
    return node.value() != nullptr ? *static_cast<const std::uint32_t *>(node.value()) : 0;
}

void render_number(Sink &out, const TypeInfo &info, std::uint32_t v, NameBuffer &names)
{
    switch (info.number) {
    case Number::Bool: out.text(v == 0 ? L"CT_boolFalse" : L"CT_boolTrue"); return;
    case Number::Signed: out.format(L"%d", static_cast<std::int32_t>(v)); return;
    case Number::Unsigned: out.format(L"%u", v); return;
    case Number::Symbol: out.text(names.lookup(v)); return;
    }
}

// The types the table marks as plain text (booleans, signed and unsigned
// integers, symbols, strings) are rendered; every other type is named as
// unsupported.
void render_value(Sink &out, const KVPairNode &node, NameBuffer &names)
{
    const TypeInfo *info = type_info(node.type);
    if (info != nullptr && info->plainText) {
        if (info->shape == Shape::String)
            out.string(static_cast<const wchar_t *>(node.value()));
        else
            render_number(out, *info, word(node), names);
        return;
    }
    out.text(L"Unsupported Type ");
    out.text(names.lookup(node.type));
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
