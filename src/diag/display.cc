// MRQkvs_Display: a readable dump of one KV-Set, nested sets and KV-Set
// arrays included, appended to Logs/kvs_log.txt.
//
// The dump is rendered whole into a growable buffer and then appended to the
// log in one piece (to standard output when the log cannot be opened).
#include <cstdint>
#include <cstdio>

#include "diag/diag_internal.h"
#include "diag/names.h"
#include "diag/sink.h"
#include "kvset/ctkvs.h"
#include "store/model.h"
#include "store/registry.h"
#include "store/types.h"

namespace kvs {
namespace diag {
namespace {

constexpr char kLogPath[] = "Logs/kvs_log.txt";
constexpr wchar_t kInvalidLine[] = L"\n[MRQkvs_Display] Invalid KV-Set - %08XH\n";
constexpr int kIndentStep = 3;

// Each thread has its own indentation, so displays running in two threads
// do not disturb each other's layout.
thread_local int t_indentation = 0;

// One nested level: the indentation is raised for the scope's lifetime.
class NestedLevel {
public:
    NestedLevel() { t_indentation += kIndentStep; }
    ~NestedLevel() { t_indentation -= kIndentStep; }
    NestedLevel(const NestedLevel &) = delete;
    NestedLevel &operator=(const NestedLevel &) = delete;
};

// Addresses are shown as their low 32 bits.
std::uint32_t low32(const void *p)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

const wchar_t *mode_name(std::uint32_t v)
{
    switch (v) {
    case CT_modeAsync: return L"CT_modeAsync";
    case CT_modeSync: return L"CT_modeSync";
    default: return nullptr;
    }
}

const wchar_t *status_name(std::uint32_t v)
{
    static const wchar_t *const kNames[] = {L"CT_statusOK",   L"CT_statusWarning", L"CT_statusStarted",
                                            L"CT_statusFail", L"CT_statusFatal",   L"CT_statusDestroy"};
    return v < sizeof(kNames) / sizeof(kNames[0]) ? kNames[v] : nullptr;
}

// One 32-bit value or array element, as its type's Show says.
void show_word(Sink &out, Show show, std::uint32_t v, NameBuffer &names)
{
    const auto sv = static_cast<std::int32_t>(v);
    const wchar_t *name = nullptr;
    switch (show) {
    case Show::Bool: out.text(v == 0 ? L"CT_boolFalse" : L"CT_boolTrue"); return;
    case Show::Int:
    case Show::Handle: out.format(L"%d", sv); return;
    case Show::Uint: out.format(L"%u", v); return;
    case Show::Hex: out.format(L"%08XH", v); return;
    case Show::Symbol: out.text(names.lookup(v)); return;
    case Show::Mode: name = mode_name(v); break;
    case Show::Status: name = status_name(v); break;
    default: return;
    }
    if (name != nullptr)
        out.text(name);
    else
        out.format(L"UNKNOWN (%d)", sv);
}

// What follows each element of an array; mode and status names run on
// with no separator.
const wchar_t *element_separator(Show show)
{
    switch (show) {
    case Show::Int:
    case Show::Uint:
    case Show::Byte: return L" ";
    case Show::Bool:
    case Show::Handle:
    case Show::Hex: return L"  ";
    case Show::Symbol: return L"   ";
    case Show::Range: return L",   ";
    case Show::String: return L",  ";
    default: return L"";
    }
}

void show_nested(Sink &out, const TypeInfo &info, CTkvs nested)
{
    out.format(L"\tType = %ls \tValue = %08XH\n", info.displayLabel, nested);
    NestedLevel level;
    out.pad(t_indentation);
    out.text(L"KVSet     ****************************************");
    render_display(nested, out);
    out.pad(t_indentation);
    out.text(L"end of KVS****************************************\n");
}

void show_set_array(Sink &out, const TypeInfo &info, std::int32_t count, const CTkvs *handles)
{
    out.format(L"\tType = %ls[%d] \tValue = %08XH\n", info.displayLabel, count, low32(handles));
    out.text(L"\n");
    out.pad(t_indentation);
    out.text(L"KVS Array      **************************************");
    {
        NestedLevel level;
        for (std::int32_t i = 0; i < count; ++i) {
            out.pad(t_indentation);
            out.format(L"kvset #%d ***************\n", i + 1);
            render_display(handles[i], out);
        }
    }
    out.pad(t_indentation);
    out.text(L"END of KVS Array**************************************");
}

void show_array(Sink &out, const TypeInfo &info, std::int32_t count, const void *block, NameBuffer &names)
{
    out.text(L"\tType = ");
    out.text(info.displayLabel);
    out.format(L"[%d]", count);
    out.text(info.shape == Shape::RangeArray ? L" \tValue (lower / uppper) = " : L" \tValue = ");
    const wchar_t *separator = element_separator(info.show);
    for (std::int32_t i = 0; i < count; ++i) {
        switch (info.shape) {
        case Shape::Bytes: out.format(L"%02xH", static_cast<const std::uint8_t *>(block)[i]); break;
        case Shape::RangeArray: {
            const struct_Irange &r = static_cast<const struct_Irange *>(block)[i];
            out.format(L"%d / %d", r.lower, r.upper);
            break;
        }
        case Shape::StringArray:
            out.text(L"'");
            out.string(static_cast<wchar_t *const *>(block)[i]);
            out.text(L"'");
            break;
        default: show_word(out, info.show, static_cast<const std::uint32_t *>(block)[i], names); break;
        }
        out.text(separator);
    }
}

// The type and value text of one pair, on its key's line.
void show_pair(Sink &out, const KVPairNode &node, NameBuffer &names)
{
    const TypeInfo *info = type_info(node.type);
    // Only a string may lack its value block; anything else without one is
    // shown like a pair of unknown type rather than read.
    if (info != nullptr && node.value() == nullptr && info->shape != Shape::String) info = nullptr;
    if (info == nullptr) {
        out.format(L"\tType = UNKNOWN[%d] (%d) \tValue = %08XH", node.count, static_cast<std::int32_t>(node.type),
                   low32(node.value()));
        return;
    }
    switch (info->shape) {
    case Shape::Scalar: {
        const std::uint32_t v = *static_cast<const std::uint32_t *>(node.value());
        out.text(L"\tType = ");
        out.text(info->displayLabel);
        out.text(L" \tValue = ");
        show_word(out, info->show, v, names);
        if (info->show == Show::Bool) out.format(L" (%d)", static_cast<std::int32_t>(v));
        return;
    }
    case Shape::Char: {
        const wchar_t c = *static_cast<const std::uint16_t *>(node.value());
        out.text(L"\tType = ");
        out.text(info->displayLabel);
        out.text(L" \tValue = ");
        out.append(&c, 1);
        return;
    }
    case Shape::Range: {
        const auto *r = static_cast<const struct_Irange *>(node.value());
        out.text(L"\tType = ");
        out.text(info->displayLabel);
        out.format(L"  lower/upper = %d / %d", r->lower, r->upper);
        return;
    }
    case Shape::String:
        out.text(L"\tType = ");
        out.text(info->displayLabel);
        out.text(L" \tValue = '");
        out.string(static_cast<const wchar_t *>(node.value()));
        out.text(L"'");
        return;
    case Shape::Nested: show_nested(out, *info, *static_cast<const CTkvs *>(node.value())); return;
    case Shape::NestedArray: show_set_array(out, *info, node.count, static_cast<const CTkvs *>(node.value())); return;
    default: show_array(out, *info, node.count, node.value(), names); return;
    }
}

// The log file for one write, or standard output when it cannot be opened
// (the Logs directory is never created here).
class LogStream {
public:
    LogStream() : file_(std::fopen(kLogPath, "a+")) {}
    ~LogStream()
    {
        if (file_ != nullptr)
            std::fclose(file_);
        else
            std::fflush(stdout);
    }
    LogStream(const LogStream &) = delete;
    LogStream &operator=(const LogStream &) = delete;
    std::FILE *stream() const { return file_ != nullptr ? file_ : stdout; }

private:
    std::FILE *file_;
};

}  // namespace

int display_indentation()
{
    return t_indentation;
}

void render_display(CTkvs kvs, Sink &out)
{
    KVSetHeader *header = nullptr;
    const CTerror valid = registry_resolve(kvs, &header);
    if (header == nullptr) {
        out.format(kInvalidLine, kvs);
        return;
    }
    if (t_indentation == 0) {
        out.format(L"\n KVSET DISPLAY FUNCTION OUTPUT  0x%08x", kvs);
        out.text(L"\n *****************************");
    }
    if (valid != CT_errorOK) {
        out.format(kInvalidLine, kvs);
        return;
    }
    out.text(L"\n");
    out.pad(t_indentation);
    out.format(L" No. of nodes = %d", header->pairCount);
    NameBuffer names;
    for (const KVPairNode *node = header->first; node != nullptr; node = node->next) {
        out.text(L"\n");
        out.pad(t_indentation);
        out.text(L"Key = ");
        out.text(names.lookup(node->key));
        show_pair(out, *node, names);
    }
    out.text(L"\n");
}

}  // namespace diag
}  // namespace kvs

void MRQkvs_Display(CTkvs kvs)
{
    using namespace kvs::diag;
    GrowSink dump;
    render_display(kvs, dump);
    LogStream log;
    if (!dump.failed()) {
        write_wide(log.stream(), dump.data(), dump.size());
        return;
    }
    // Too little memory to hold the whole dump: render it again straight
    // into the stream, piece by piece.
    StreamSink direct(log.stream());
    render_display(kvs, direct);
}
