// The checks the decoder fuzz targets make on every input that decodes: the
// decoded KV-Set re-encodes, the encoding decodes to a KV-Set that matches
// it, and the set renders (display and text) and compares equal to itself.
// A broken expectation aborts, which libFuzzer and the replay driver report.
#ifndef KVSET_FUZZ_ROUND_TRIP_H
#define KVSET_FUZZ_ROUND_TRIP_H

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "diag/diag_internal.h"
#include "kvset/ctkvs.h"
#include "serial/block_io.h"
#include "store/registry.h"

namespace fuzzing {

inline void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// True when the set, or a set nested in it, holds an empty KV-Set array
// element: the one thing the memory writer refuses.
inline bool has_empty_element(CTkvs kvs)
{
    const kvs::KVSetHeader *set = kvs::registry_find(kvs);
    for (const KVPairNode *n = set->first; n != nullptr; n = n->next) {
        if (n->type == KV_TYPE_KVS && has_empty_element(*static_cast<const CTkvs *>(n->value()))) return true;
        if (n->type != KV_TYPE_KVS_ARRAY) continue;
        const CTkvs *handles = static_cast<const CTkvs *>(n->value());
        for (std::int32_t i = 0; i < n->count; ++i)
            if (handles[i] == 0 || has_empty_element(handles[i])) return true;
    }
    return false;
}

// The display (rendered into memory, not the log), the text rendering into
// a small buffer, and the comparison of the set with itself, which differs
// only where an empty KV-Set array element stands.
inline void check_renderings(CTkvs decoded)
{
    kvs::diag::GrowSink dump;
    kvs::diag::render_display(decoded, dump);
    require(!dump.failed() && dump.size() > 0, "display rendering failed");
    require(kvs::diag::display_indentation() == 0, "display left its indentation raised");
    wchar_t text[256];
    text[0] = L'\0';
    MRQKvs_AsText(decoded, text, 256, L"> ");
    require(std::wcslen(text) < 256, "text rendering overran its buffer");
    CTerror e = 0;
    const std::int32_t same = MRQkvs_Compare(decoded, decoded, &e);
    require(same == (has_empty_element(decoded) ? 1 : 0), "a set compares unequal to itself");
}

inline bool matches(CTkvs a, CTkvs b)
{
    std::uint32_t result = 0;
    CTerror e = 0;
    return CTkvs_Match(a, b, &result, &e) == CT_statusOK && result == 1;
}

inline void check_memory_round_trip(CTkvs decoded)
{
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    CTerror e = 0;
    if (MRQkvs_WriteToMemory(&buffer, decoded, &length, &e) != CT_statusOK) {
        require(e == CT_errorNoResource && has_empty_element(decoded), "memory encoding failed");
        return;
    }
    CTkvs again = 0;
    CTkvs_Create(&again, &e);
    require(MRQkvs_ReadFromMemory(again, buffer + 8, length - 8, &e) == CT_statusOK, "memory re-decoding failed");
    require(matches(decoded, again), "memory round trip differs");
    CTkvs_Destroy(again, &e);
    MRQkvs_FreeBuffer(buffer);
}

inline void check_file_round_trip(CTkvs decoded)
{
    char *bytes = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&bytes, &size);
    require(out != nullptr, "open_memstream");
    CTerror e = 0;
    require(WriteKVSBlock(out, decoded, &e) == CT_statusOK, "file encoding failed");
    std::fclose(out);
    std::FILE *in = fmemopen(bytes, size, "rb");
    require(in != nullptr, "fmemopen");
    CTkvs again = 0;
    CTkvs_Create(&again, &e);
    require(ReadKVSBlock(in, again, &e) == CT_statusOK, "file re-decoding failed");
    std::fclose(in);
    require(matches(decoded, again), "file round trip differs");
    CTkvs_Destroy(again, &e);
    std::free(bytes);
}

// Copies every nested set into the set that holds it, innermost first, from
// the handle a get lends: the copy replaces the very pair it reads from, so
// it must work from a snapshot whatever made the nested set. Changes holder.
inline void check_copies_from_nested(CTkvs holder)
{
    std::vector<CTsymbol> keys;
    for (const KVPairNode *n = kvs::registry_find(holder)->first; n != nullptr; n = n->next)
        if (n->type == KV_TYPE_KVS || n->type == KV_TYPE_KVS_ARRAY) keys.push_back(n->key);
    for (CTsymbol key : keys) {
        CTerror e = 0;
        std::vector<CTkvs> lent(1, 0);
        if (CTkvs_GetKVS(holder, key, &lent[0], &e) != CT_statusOK) {
            CTkvs *elements = nullptr;
            std::int32_t count = 0;
            if (CTkvs_GetKVSArray(holder, key, &elements, &count, &e) != CT_statusOK) continue;  // replaced by a copy
            lent.assign(elements, elements + count);
        }
        for (CTkvs nested : lent) {
            if (nested == 0 || ValidateKVS(nested) != CT_errorOK) continue;  // empty, or released by an earlier copy
            check_copies_from_nested(nested);
            const CTstatus status = CTkvs_Copy(holder, nested, &e);
            require(status == CT_statusOK || e == CT_errorNoResource, "a copy from a nested set failed");
        }
    }
}

}  // namespace fuzzing

#endif
