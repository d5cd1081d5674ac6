// JSON text -> KV-Set. Every value is checked against its type before any
// set is made, so a refused text leaves nothing registered.
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "inspect/json.h"
#include "kvset/ctsym.h"

namespace kvs {
namespace inspect {
namespace {

using nlohmann::json;

// Thrown inside the reader only, caught by read_json.
struct Refusal {
    std::string message;
};

[[noreturn]] void refuse(const std::string &path, const std::string &why) { throw Refusal{path + ": " + why}; }

std::string index_path(const std::string &path, std::size_t i) { return path + "[" + std::to_string(i) + "]"; }

const char *kind(const json &j)
{
    switch (j.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::number_float: return "a floating-point number";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return "an integer";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    default: return "an unexpected value";
    }
}

// Decodes valid UTF-8 (the parser has checked it) into code points.
std::u32string code_points(const std::string &s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        std::uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k <= extra && i + k < s.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

bool parse_hex(const std::string &s, std::uint32_t *out)
{
    if (s.size() < 3 || s.size() > 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    std::uint32_t v = 0;
    for (std::size_t i = 2; i < s.size(); ++i) {
        const char c = s[i];
        std::uint32_t d;
        if (c >= '0' && c <= '9')
            d = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
        v = v << 4 | d;
    }
    *out = v;
    return true;
}

std::uint32_t unsigned_word(const json &j, const std::string &path)
{
    if (j.is_number_unsigned()) {
        const auto v = j.get<std::uint64_t>();
        if (v <= 0xFFFFFFFFu) return static_cast<std::uint32_t>(v);
    } else if (j.is_number_integer()) {
        // negative: the parser keeps non-negative integers unsigned
    } else {
        refuse(path, std::string("expected an integer from 0 to 4294967295, found ") + kind(j));
    }
    refuse(path, "integer out of range: expected 0 to 4294967295");
}

std::int32_t signed_word(const json &j, const std::string &path)
{
    if (!j.is_number_integer())
        refuse(path, std::string("expected an integer from -2147483648 to 2147483647, found ") + kind(j));
    if (j.is_number_unsigned()) {
        const auto v = j.get<std::uint64_t>();
        if (v <= 0x7FFFFFFFu) return static_cast<std::int32_t>(v);
    } else {
        const auto v = j.get<std::int64_t>();
        if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<std::int32_t>(v);
    }
    refuse(path, "integer out of range: expected -2147483648 to 2147483647");
}

// A symbol: a name the symbol library knows, "0x" and up to 8 hex digits, or
// an integer.
std::uint32_t symbol(const json &j, const std::string &path)
{
    if (j.is_number()) return unsigned_word(j, path);
    if (!j.is_string()) refuse(path, std::string("expected a symbol name, a 0x hex string or an integer, found ") + kind(j));
    const std::string &s = j.get_ref<const std::string &>();
    std::uint32_t v = 0;
    if (parse_hex(s, &v)) return v;
    const std::u32string cps = code_points(s);
    std::wstring name(cps.begin(), cps.end());
    std::uint32_t error = 0;
    if (!name.empty() && CTsym_NameToSymbol(0, name.c_str(), &v, &error) == 0) return v;
    refuse(path, "unknown symbol name \"" + s + "\" (use 0x and 8 hex digits for other symbols)");
}

std::uint32_t bool_word(const json &j, const std::string &path)
{
    if (j.is_boolean()) return j.get<bool>() ? 1u : 0u;
    return unsigned_word(j, path);
}

std::uint32_t char_unit(const json &j, const std::string &path)
{
    if (j.is_number()) {
        const std::uint32_t v = unsigned_word(j, path);
        if (v > 0xFFFF) refuse(path, "a character is one UTF-16 code unit: expected 0 to 65535");
        return v;
    }
    if (!j.is_string()) refuse(path, std::string("expected a one-character string or a code unit, found ") + kind(j));
    const std::u32string cps = code_points(j.get_ref<const std::string &>());
    if (cps.size() != 1) refuse(path, "expected exactly one character, found " + std::to_string(cps.size()));
    if (cps[0] > 0xFFFF) refuse(path, "a character must be one UTF-16 code unit (U+0000 to U+FFFF)");
    return cps[0];
}

const json &array_of(const json &j, const std::string &path, const char *what)
{
    if (!j.is_array()) refuse(path, std::string("expected ") + what + ", found " + kind(j));
    return j;
}

void range(const json &j, const std::string &path, std::vector<std::uint32_t> *words)
{
    if (!j.is_array() || j.size() != 2) refuse(path, "expected a range [lower, upper]");
    words->push_back(static_cast<std::uint32_t>(signed_word(j[0], index_path(path, 0))));
    words->push_back(static_cast<std::uint32_t>(signed_word(j[1], index_path(path, 1))));
}

OptionalString string_value(const json &j, const std::string &path)
{
    std::wstring out;
    if (j.is_null()) return OptionalString();
    if (j.is_string()) {
        for (char32_t c : code_points(j.get_ref<const std::string &>())) {
            if (c == 0) refuse(path, "a string cannot hold the character U+0000");
            out.push_back(static_cast<wchar_t>(c));
        }
        return out;
    }
    if (j.is_object()) {
        auto it = j.find(kCodePointsMember);
        if (j.size() != 1 || it == j.end())
            refuse(path, std::string("a string object holds exactly one member \"") + kCodePointsMember + "\"");
        const std::string inner = path + "." + kCodePointsMember;
        const json &cps = array_of(*it, inner, "an array of code points");
        for (std::size_t i = 0; i < cps.size(); ++i) {
            const std::uint32_t c = unsigned_word(cps[i], index_path(inner, i));
            if (c == 0) refuse(index_path(inner, i), "a string cannot hold the code point 0");
            out.push_back(static_cast<wchar_t>(c));
        }
        return out;
    }
    refuse(path, std::string("expected a string, null or {\"") + kCodePointsMember + "\": [...]}, found " + kind(j));
}

const TypeInfo *type_by_name(const std::string &name)
{
    std::size_t count = 0;
    const TypeInfo *table = type_table(&count);
    for (std::size_t i = 0; i < count; ++i)
        if (utf8(table[i].name) == name) return &table[i];
    return nullptr;
}

class Reader {
public:
    Set set(const json &j, const std::string &path, int depth)
    {
        if (depth > KVS_MAX_NESTING)
            refuse(path, "KV-Sets nested deeper than " + std::to_string(KVS_MAX_NESTING) + " levels");
        array_of(j, path, "an array of pairs");
        Set out;
        std::map<std::uint32_t, std::size_t> seen;
        for (std::size_t i = 0; i < j.size(); ++i) {
            const std::string at = index_path(path, i);
            out.push_back(pair(j[i], at, depth));
            auto first = seen.emplace(out.back().key, i);
            if (!first.second)
                refuse(at + ".key", "the key " + symbol_text(out.back().key) + " is already used by " +
                                        index_path(path, first.first->second) + " (a KV-Set holds one pair per key)");
        }
        return out;
    }

private:
    Pair pair(const json &j, const std::string &path, int depth)
    {
        if (!j.is_object()) refuse(path, std::string("expected a pair object {\"key\", \"type\", \"value\"}, found ") + kind(j));
        for (auto it = j.begin(); it != j.end(); ++it)
            if (it.key() != "key" && it.key() != "type" && it.key() != "value")
                refuse(path, "unexpected member \"" + it.key() + "\" (a pair holds key, type and value)");
        for (const char *member : {"key", "type", "value"})
            if (!j.contains(member)) refuse(path, std::string("missing member \"") + member + "\"");

        Pair p;
        p.key = symbol(j["key"], path + ".key");
        const json &t = j["type"];
        if (!t.is_string()) refuse(path + ".type", std::string("expected a type name, found ") + kind(t));
        const TypeInfo *info = type_by_name(t.get_ref<const std::string &>());
        if (info == nullptr) refuse(path + ".type", "unknown type name \"" + t.get<std::string>() + "\"");
        p.type = info->storedCode;  // "CTerror" is stored as a symbol
        value(j["value"], path + ".value", info, depth, &p);
        return p;
    }

    void value(const json &v, const std::string &path, const TypeInfo *info, int depth, Pair *p)
    {
        const std::uint32_t type = info->storedCode;
        switch (info->shape) {
        case Shape::Scalar: p->words.push_back(word(v, path, type)); return;
        case Shape::Char: p->words.push_back(char_unit(v, path)); return;
        case Shape::Range: range(v, path, &p->words); return;
        case Shape::String: p->strings.push_back(string_value(v, path)); return;
        case Shape::Nested: p->sets.emplace_back(set(v, path, depth + 1)); return;
        case Shape::Bytes: bytes(v, path, &p->bytes); return;
        default: break;
        }
        array_of(v, path, "an array");
        if (v.empty() && (type == KV_TYPE_MODE_ARRAY || type == KV_TYPE_SERVICE_ARRAY || type == KV_TYPE_IRANGE_ARRAY))
            refuse(path, "a " + type_name(type) + " value holds at least one element");
        if (v.size() > 0x7FFFFFFFu) refuse(path, "too many elements");
        for (std::size_t i = 0; i < v.size(); ++i) {
            const std::string at = index_path(path, i);
            switch (info->shape) {
            case Shape::Array: p->words.push_back(word(v[i], at, type)); break;
            case Shape::RangeArray: range(v[i], at, &p->words); break;
            case Shape::StringArray: p->strings.push_back(string_value(v[i], at)); break;
            case Shape::NestedArray:
                if (v[i].is_null())
                    p->sets.emplace_back();
                else
                    p->sets.emplace_back(set(v[i], at, depth + 1));
                break;
            default: break;
            }
        }
    }

    static std::uint32_t word(const json &v, const std::string &path, std::uint32_t type)
    {
        switch (type) {
        case KV_TYPE_INT:
        case KV_TYPE_INT_ARRAY: return static_cast<std::uint32_t>(signed_word(v, path));
        case KV_TYPE_SYMBOL:
        case KV_TYPE_SYMBOL_ARRAY:
        case KV_TYPE_ERROR_ARRAY: return symbol(v, path);
        case KV_TYPE_BOOL:
        case KV_TYPE_BOOL_ARRAY: return bool_word(v, path);
        default: return unsigned_word(v, path);
        }
    }

    static void bytes(const json &v, const std::string &path, std::vector<std::uint8_t> *out)
    {
        if (!v.is_string()) refuse(path, std::string("expected a hex string of bytes, found ") + kind(v));
        const std::string &s = v.get_ref<const std::string &>();
        if (s.size() % 2 != 0) refuse(path, "a byte string holds two hex digits per byte");
        auto digit = [&](char c) -> std::uint8_t {
            if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
            if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
            if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
            refuse(path, std::string("not a hex digit: '") + c + "'");
        };
        for (std::size_t i = 0; i < s.size(); i += 2)
            out->push_back(static_cast<std::uint8_t>(digit(s[i]) << 4 | digit(s[i + 1])));
    }
};

}  // namespace

bool read_json(const std::string &text, Set *set, std::string *error)
{
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::exception &e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 3: ...";
        // a number beyond the range of a double is "out_of_range.406".
        std::string what = e.what();
        const std::size_t cut = what.find("] ");
        *error = "$: JSON " + (cut == std::string::npos ? what : what.substr(cut + 2));
        return false;
    }
    try {
        *set = Reader().set(doc, "$", 0);
        return true;
    } catch (const Refusal &r) {
        *error = r.message;
        return false;
    }
}

}  // namespace inspect
}  // namespace kvs
