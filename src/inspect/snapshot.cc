#include "inspect/snapshot.h"

#include <cstdio>
#include <cwchar>

#include "kvset/ctsym.h"

namespace kvs {
namespace inspect {
namespace {

// The single-value get of a stored type code; false for codes it does not serve.
bool get_word(CTkvs kvs, CTsymbol key, std::uint32_t type, std::uint32_t *out, CTerror *e, CTstatus *status)
{
    switch (type) {
    case KV_TYPE_BOOL: *status = CTkvs_GetBool(kvs, key, out, e); return true;
    case KV_TYPE_CONFERENCE: *status = CTkvs_GetConference(kvs, key, out, e); return true;
    case KV_TYPE_GROUP: *status = CTkvs_GetGroup(kvs, key, out, e); return true;
    case KV_TYPE_INT: {
        std::int32_t v = 0;
        *status = CTkvs_GetInt(kvs, key, &v, e);
        *out = static_cast<std::uint32_t>(v);
        return true;
    }
    case KV_TYPE_MODE: *status = CTkvs_GetMode(kvs, key, out, e); return true;
    case KV_TYPE_SESSION: *status = CTkvs_GetSession(kvs, key, out, e); return true;
    case KV_TYPE_SERVICE: *status = CTkvs_GetService(kvs, key, out, e); return true;
    case KV_TYPE_STATUS: *status = CTkvs_GetStatus(kvs, key, out, e); return true;
    case KV_TYPE_SYMBOL: *status = CTkvs_GetSymbol(kvs, key, out, e); return true;
    case KV_TYPE_TIME: *status = CTkvs_GetTime(kvs, key, out, e); return true;
    case KV_TYPE_UINT: *status = CTkvs_GetUint(kvs, key, out, e); return true;
    case KV_TYPE_STREAM: *status = CTkvs_GetStream(kvs, key, out, e); return true;
    case KV_TYPE_CONNECTION: *status = CTkvs_GetConnection(kvs, key, out, e); return true;
    case KV_TYPE_CHAR: {
        std::uint16_t c = 0;
        *status = CTkvs_GetChar(kvs, key, &c, e);
        *out = c;
        return true;
    }
    default: return false;
    }
}

// The array get of a stored type code: a borrowed block and its element count.
bool get_array(CTkvs kvs, CTsymbol key, std::uint32_t type, const void **block, std::int32_t *count, CTerror *e,
               CTstatus *status)
{
    std::uint32_t *words = nullptr;
    switch (type) {
    case KV_TYPE_BOOL_ARRAY: *status = CTkvs_GetBoolArray(kvs, key, &words, count, e); break;
    case KV_TYPE_CONFERENCE_ARRAY: *status = CTkvs_GetCONFArray(kvs, key, &words, count, e); break;
    case KV_TYPE_GROUP_ARRAY: *status = CTkvs_GetGroupArray(kvs, key, &words, count, e); break;
    case KV_TYPE_MODE_ARRAY: *status = CTkvs_GetModeArray(kvs, key, &words, count, e); break;
    case KV_TYPE_SESSION_ARRAY: *status = CTkvs_GetSessionArray(kvs, key, &words, count, e); break;
    case KV_TYPE_SERVICE_ARRAY: *status = CTkvs_GetSrvArray(kvs, key, &words, count, e); break;
    case KV_TYPE_STATUS_ARRAY: *status = CTkvs_GetStatusArray(kvs, key, &words, count, e); break;
    case KV_TYPE_SYMBOL_ARRAY: *status = CTkvs_GetSymbolArray(kvs, key, &words, count, e); break;
    case KV_TYPE_ERROR_ARRAY: *status = CTkvs_GetErrorArray(kvs, key, &words, count, e); break;
    case KV_TYPE_CONNECTION_ARRAY: *status = CTkvs_GetCONNArray(kvs, key, &words, count, e); break;
    case KV_TYPE_UINT_ARRAY: *status = CTkvs_GetUintArray(kvs, key, &words, count, e); break;
    case KV_TYPE_TIME_ARRAY: *status = CTkvs_GetTimeArray(kvs, key, &words, count, e); break;
    case KV_TYPE_INT_ARRAY: {
        std::int32_t *ints = nullptr;
        *status = CTkvs_GetIntArray(kvs, key, &ints, count, e);
        *block = ints;
        return true;
    }
    case KV_TYPE_BYTE_ARRAY: {
        std::uint8_t *bytes = nullptr;
        *status = CTkvs_GetByteArray(kvs, key, &bytes, count, e);
        *block = bytes;
        return true;
    }
    case KV_TYPE_IRANGE_ARRAY: {
        struct_Irange *ranges = nullptr;
        *status = CTkvs_GetIrangeArray(kvs, key, &ranges, count, e);
        *block = ranges;
        return true;
    }
    default: return false;
    }
    *block = words;
    return true;
}

// A call that failed on key. The puts and the create answer
// CT_errorNoResource only when the heap is exhausted: that reads as "out of
// memory", the words every inspection wrapper uses for it, so that callers
// can tell it from a fault of their input.
std::string failure(const char *what, CTsymbol key, CTerror e)
{
    if (e == CT_errorNoResource) return kOutOfMemory;
    return std::string(what) + " " + symbol_text(key) + ": " + error_text(e);
}

bool read_pair(CTkvs kvs, CTsymbol key, std::uint32_t type, Pair *pair, std::string *error)
{
    const TypeInfo *info = type_info(type);
    if (info == nullptr || info->storedCode != type) {
        *error = "pair " + symbol_text(key) + " has the unknown type code " + std::to_string(type);
        return false;
    }
    pair->key = key;
    pair->type = type;
    CTerror e = CT_errorOK;
    CTstatus status = CT_statusOK;
    switch (info->shape) {
    case Shape::Scalar:
    case Shape::Char: {
        std::uint32_t v = 0;
        get_word(kvs, key, type, &v, &e, &status);
        if (status != CT_statusOK) break;
        pair->words.push_back(v);
        return true;
    }
    case Shape::Range: {
        struct_Irange r{};
        status = CTkvs_GetIrange(kvs, key, &r, &e);
        if (status != CT_statusOK) break;
        pair->words = {static_cast<std::uint32_t>(r.lower), static_cast<std::uint32_t>(r.upper)};
        return true;
    }
    case Shape::String: {
        wchar_t *s = nullptr;
        status = CTkvs_GetString(kvs, key, &s, &e);
        if (status != CT_statusOK) break;
        pair->strings.push_back(s == nullptr ? OptionalString() : OptionalString(s));
        return true;
    }
    case Shape::Nested: {
        CTkvs nested = 0;
        status = CTkvs_GetKVS(kvs, key, &nested, &e);
        if (status != CT_statusOK) break;
        Set inner;
        if (!read_set(nested, &inner, error)) return false;
        pair->sets.emplace_back(std::move(inner));
        return true;
    }
    case Shape::Array:
    case Shape::Bytes:
    case Shape::RangeArray: {
        const void *block = nullptr;
        std::int32_t count = 0;
        get_array(kvs, key, type, &block, &count, &e, &status);
        if (status != CT_statusOK) break;
        if (count < 0 || (count > 0 && block == nullptr)) {
            *error = "pair " + symbol_text(key) + " holds a malformed array";
            return false;
        }
        const auto n = static_cast<std::size_t>(count);
        if (info->shape == Shape::Bytes) {
            const auto *b = static_cast<const std::uint8_t *>(block);
            pair->bytes.assign(b, b + n);
        } else if (info->shape == Shape::RangeArray) {
            const auto *r = static_cast<const struct_Irange *>(block);
            for (std::size_t i = 0; i < n; ++i) {
                pair->words.push_back(static_cast<std::uint32_t>(r[i].lower));
                pair->words.push_back(static_cast<std::uint32_t>(r[i].upper));
            }
        } else {
            const auto *w = static_cast<const std::uint32_t *>(block);
            pair->words.assign(w, w + n);
        }
        return true;
    }
    case Shape::StringArray: {
        wchar_t **strings = nullptr;
        std::int32_t count = 0;
        status = CTkvs_GetStringArray(kvs, key, &strings, &count, &e);
        if (status != CT_statusOK) break;
        for (std::int32_t i = 0; i < count; ++i)
            pair->strings.push_back(strings[i] == nullptr ? OptionalString() : OptionalString(strings[i]));
        return true;
    }
    case Shape::NestedArray: {
        CTkvs *handles = nullptr;
        std::int32_t count = 0;
        status = CTkvs_GetKVSArray(kvs, key, &handles, &count, &e);
        // The get refuses an array with an empty element, but it lends the
        // block first: an empty element is 0, anything else must be a set.
        if (status != CT_statusOK && !(e == CT_errorInvalidKVSet && (count == 0 || handles != nullptr))) break;
        for (std::int32_t i = 0; i < count; ++i) {
            if (handles[i] == 0) {
                pair->sets.emplace_back();
                continue;
            }
            Set inner;
            if (ValidateKVS(handles[i]) != CT_errorOK) {
                *error = "element " + std::to_string(i) + " of pair " + symbol_text(key) + " is not a valid KV-Set";
                return false;
            }
            if (!read_set(handles[i], &inner, error)) return false;
            pair->sets.emplace_back(std::move(inner));
        }
        return true;
    }
    }
    *error = failure("cannot read pair", key, e);
    return false;
}

void destroy(CTkvs kvs)
{
    CTerror ignored = CT_errorOK;
    if (kvs != 0) CTkvs_Destroy(kvs, &ignored);
}

// Stores one pair into kvs through the public puts.
bool put_pair(CTkvs kvs, const Pair &p, std::string *error)
{
    const CTsymbol key = p.key;
    CTerror e = CT_errorOK;
    CTstatus st = CT_statusOK;
    const std::uint32_t n = static_cast<std::uint32_t>(p.elements());
    const std::uint32_t *w = p.words.data();
    switch (p.type) {
    case KV_TYPE_BOOL: st = CTkvs_PutBool(kvs, key, w[0], &e); break;
    case KV_TYPE_CONFERENCE: st = CTkvs_PutConference(kvs, key, w[0], &e); break;
    case KV_TYPE_GROUP: st = CTkvs_PutGroup(kvs, key, w[0], &e); break;
    case KV_TYPE_INT: st = CTkvs_PutInt(kvs, key, static_cast<std::int32_t>(w[0]), &e); break;
    case KV_TYPE_MODE: st = CTkvs_PutMode(kvs, key, w[0], &e); break;
    case KV_TYPE_SESSION: st = CTkvs_PutSession(kvs, key, w[0], &e); break;
    case KV_TYPE_SERVICE: st = CTkvs_PutService(kvs, key, w[0], &e); break;
    case KV_TYPE_STATUS: st = CTkvs_PutStatus(kvs, key, w[0], &e); break;
    case KV_TYPE_SYMBOL: st = CTkvs_PutSymbol(kvs, key, w[0], &e); break;
    case KV_TYPE_ERROR: st = CTkvs_PutError(kvs, key, w[0], &e); break;
    case KV_TYPE_TIME: st = CTkvs_PutTime(kvs, key, w[0], &e); break;
    case KV_TYPE_UINT: st = CTkvs_PutUint(kvs, key, w[0], &e); break;
    case KV_TYPE_STREAM: st = CTkvs_PutStream(kvs, key, w[0], &e); break;
    case KV_TYPE_CONNECTION: st = CTkvs_PutConnection(kvs, key, w[0], &e); break;
    case KV_TYPE_CHAR: st = CTkvs_PutChar(kvs, key, static_cast<std::uint16_t>(w[0]), &e); break;
    case KV_TYPE_IRANGE:
        st = CTkvs_PutIrange(kvs, key, static_cast<std::int32_t>(w[0]), static_cast<std::int32_t>(w[1]), &e);
        break;
    case KV_TYPE_STRING:
        st = CTkvs_PutString(kvs, key, p.strings[0] ? p.strings[0]->c_str() : nullptr, &e);
        break;
    case KV_TYPE_KVS: {
        CTkvs inner = 0;
        if (!make_set(*p.sets[0], &inner, error)) return false;
        st = CTkvs_PutKVS(kvs, key, inner, &e);
        destroy(inner);
        break;
    }
    case KV_TYPE_BOOL_ARRAY: st = CTkvs_PutBoolArray(kvs, key, w, n, &e); break;
    case KV_TYPE_BYTE_ARRAY: st = CTkvs_PutByteArray(kvs, key, p.bytes.data(), n, &e); break;
    case KV_TYPE_CONFERENCE_ARRAY: st = CTkvs_PutCONFArray(kvs, key, w, n, &e); break;
    case KV_TYPE_GROUP_ARRAY: st = CTkvs_PutGroupArray(kvs, key, w, n, &e); break;
    case KV_TYPE_INT_ARRAY:
        st = CTkvs_PutIntArray(kvs, key, reinterpret_cast<const std::int32_t *>(w), n, &e);
        break;
    case KV_TYPE_IRANGE_ARRAY: {
        std::vector<struct_Irange> ranges(n);
        for (std::size_t i = 0; i < n; ++i)
            ranges[i] = {static_cast<std::int32_t>(w[2 * i]), static_cast<std::int32_t>(w[2 * i + 1])};
        st = CTkvs_PutIrangeArray(kvs, key, ranges.data(), n, &e);
        break;
    }
    case KV_TYPE_MODE_ARRAY: st = CTkvs_PutModeArray(kvs, key, w, n, &e); break;
    case KV_TYPE_SESSION_ARRAY: st = CTkvs_PutSessionArray(kvs, key, w, n, &e); break;
    case KV_TYPE_SERVICE_ARRAY: st = CTkvs_PutServiceArray(kvs, key, w, n, &e); break;
    case KV_TYPE_STATUS_ARRAY: st = CTkvs_PutStatusArray(kvs, key, w, n, &e); break;
    case KV_TYPE_SYMBOL_ARRAY: st = CTkvs_PutSymbolArray(kvs, key, w, n, &e); break;
    case KV_TYPE_ERROR_ARRAY: st = CTkvs_PutErrorArray(kvs, key, w, n, &e); break;
    case KV_TYPE_CONNECTION_ARRAY: st = CTkvs_PutCONNArray(kvs, key, w, n, &e); break;
    case KV_TYPE_UINT_ARRAY: st = CTkvs_PutUintArray(kvs, key, w, n, &e); break;
    case KV_TYPE_TIME_ARRAY: st = CTkvs_PutTimeArray(kvs, key, w, n, &e); break;
    case KV_TYPE_STRING_ARRAY: {
        std::vector<const wchar_t *> strings;
        for (const OptionalString &s : p.strings) strings.push_back(s ? s->c_str() : nullptr);
        st = CTkvs_PutStringArray(kvs, key, strings.data(), n, &e);
        break;
    }
    case KV_TYPE_KVS_ARRAY: {
        // The put copies every element, so the elements that are empty sets
        // all pass one empty set rather than one registered set each.
        std::vector<CTkvs> handles(p.sets.size(), 0);
        CTkvs empty = 0;
        bool made = true;
        for (std::size_t i = 0; made && i < p.sets.size(); ++i) {
            if (!p.sets[i]) continue;
            CTkvs &element = p.sets[i]->empty() ? empty : handles[i];
            if (element == 0) made = make_set(*p.sets[i], &element, error);
            if (p.sets[i]->empty()) handles[i] = empty;
        }
        if (made) st = CTkvs_PutKVSArray(kvs, key, handles.data(), n, &e);
        for (CTkvs h : handles)
            if (h != empty) destroy(h);
        destroy(empty);
        if (!made) return false;
        break;
    }
    default:
        *error = "pair " + symbol_text(key) + " has the unknown type code " + std::to_string(p.type);
        return false;
    }
    if (st != CT_statusOK) {
        *error = failure("cannot store pair", key, e);
        return false;
    }
    return true;
}

}  // namespace

std::size_t Pair::elements() const
{
    switch (info().shape) {
    case Shape::Bytes: return bytes.size();
    case Shape::Range:
    case Shape::RangeArray: return words.size() / 2;
    case Shape::String:
    case Shape::StringArray: return strings.size();
    case Shape::Nested:
    case Shape::NestedArray: return sets.size();
    default: return words.size();
    }
}

bool read_set(CTkvs kvs, Set *out, std::string *error)
{
    out->clear();
    if (ValidateKVS(kvs) != CT_errorOK) {
        *error = "handle " + std::to_string(kvs) + " is not a valid KV-Set";
        return false;
    }
    // Only the first step starts at the front: a pair stored under the key
    // CT_keyFirst would otherwise restart the walk.
    CTsymbol cursor = CT_keyFirst;
    for (;;) {
        CTsymbol key = 0;
        std::uint32_t type = 0;
        std::int32_t count = 0;
        CTerror e = CT_errorOK;
        CTstatus st = CTkvs_GetNext(kvs, &cursor, &key, &type, &count, &e);
        if (st != CT_statusOK) {
            if (e == CT_errorEndOfList) return true;
            *error = "cannot walk the KV-Set: " + error_text(e);
            return false;
        }
        cursor = 0;
        Pair pair;
        if (!read_pair(kvs, key, type, &pair, error)) return false;
        out->push_back(std::move(pair));
    }
}

bool make_set(const Set &set, CTkvs *kvs, std::string *error)
{
    *kvs = 0;
    CTkvs made = 0;
    CTerror e = CT_errorOK;
    if (CTkvs_Create(&made, &e) != CT_statusOK) {
        *error = e == CT_errorNoResource ? kOutOfMemory : "cannot create a KV-Set: " + error_text(e);
        return false;
    }
    for (const Pair &p : set) {
        if (!put_pair(made, p, error)) {
            destroy(made);
            return false;
        }
    }
    *kvs = made;
    return true;
}

std::string symbol_text(std::uint32_t symbol)
{
    wchar_t buffer[128];
    wchar_t *name = buffer;
    std::uint32_t capacity = 127;
    std::uint32_t e = 0;
    if (CTsym_SymbolToName(0, symbol, &name, &capacity, &e) != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", symbol);
        return hex;
    }
    return utf8(buffer);
}

std::string error_text(CTerror error) { return symbol_text(error); }

bool is_unicode(const std::wstring &text)
{
    for (wchar_t c : text) {
        auto u = static_cast<std::uint32_t>(c);
        if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
    }
    return true;
}

void append_utf8(std::string *out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string utf8(const std::wstring &text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) append_utf8(&out, static_cast<std::uint32_t>(c));
    return out;
}

std::string utf8(const wchar_t *text) { return utf8(std::wstring(text)); }

std::string type_name(std::uint32_t type)
{
    const TypeInfo *info = type_info(type);
    if (info == nullptr) return "type " + std::to_string(type);
    return utf8(info->name);
}

}  // namespace inspect
}  // namespace kvs
