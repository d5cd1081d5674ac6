// The rules for the small values of the JSON form, one parsed value at a time.
#include "inspect/json_values.h"

#include "inspect/json.h"
#include "inspect/names.h"
#include "inspect/text.h"
#include "kvset/ctsym.h"

namespace kvs {
namespace inspect {

using nlohmann::json;

void refuse(const std::string &path, const std::string &why) { throw Refusal{path + ": " + why}; }

std::string clipped(const std::string &text)
{
    // Counts characters by their UTF-8 lead bytes and cuts before a lead byte,
    // so no character is split.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters++ == kEchoLimit) return text.substr(0, i) + "...";
    }
    return text;
}

std::string index_path(const std::string &path, std::size_t i) { return path + "[" + std::to_string(i) + "]"; }

std::string member_path(const std::string &path, const std::string &member) { return path + "." + clipped(member); }

const char *kind(json::value_t type)
{
    switch (type) {
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

const char *kind(const json &j) { return kind(j.type()); }

namespace {

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

std::uint32_t word(const json &v, const std::string &path, const TypeInfo &info)
{
    switch (info.number) {
    case Number::Signed: return static_cast<std::uint32_t>(signed_word(v, path));
    case Number::Symbol: return symbol(v, path);
    case Number::Bool: return bool_word(v, path);
    case Number::Unsigned: break;
    }
    return unsigned_word(v, path);
}

void bytes(const json &v, const std::string &path, std::vector<std::uint8_t> *out)
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
    out->reserve(out->size() + s.size() / 2);
    for (std::size_t i = 0; i < s.size(); i += 2)
        out->push_back(static_cast<std::uint8_t>(digit(s[i]) << 4 | digit(s[i + 1])));
}

}  // namespace

// A symbol: a site name (loadNames), a name the symbol library knows, "0x" and up to 8 hex digits, or
// an integer.
std::uint32_t symbol(const json &j, const std::string &path)
{
    if (j.is_number()) return unsigned_word(j, path);
    if (!j.is_string()) refuse(path, std::string("expected a symbol name, a 0x hex string or an integer, found ") + kind(j));
    const std::string &s = j.get_ref<const std::string &>();
    std::uint32_t v = 0;
    if (parse_hex(s, &v)) return v;
    if (site_symbol(s, &v)) return v;
    const std::u32string cps = code_points(s);
    std::wstring name(cps.begin(), cps.end());
    std::uint32_t error = 0;
    if (!name.empty() && CTsym_NameToSymbol(0, name.c_str(), &v, &error) == 0) return v;
    refuse(path, "unknown symbol name \"" + clipped(s) + "\" (use 0x and 8 hex digits for other symbols)");
}

const TypeInfo *type_by_name(const std::string &name)
{
    std::size_t count = 0;
    const TypeInfo *table = type_table(&count);
    for (std::size_t i = 0; i < count; ++i)
        if (utf8(table[i].name) == name) return &table[i];
    return nullptr;
}

bool read_whole(Shape shape)
{
    switch (shape) {
    case Shape::Scalar:
    case Shape::Char:
    case Shape::Range:
    case Shape::String:
    case Shape::Bytes: return true;
    default: return false;
    }
}

void single_value(const json &v, const std::string &path, const TypeInfo &info, Pair *p)
{
    switch (info.shape) {
    case Shape::Scalar: p->words.push_back(word(v, path, info)); return;
    case Shape::Char: p->words.push_back(char_unit(v, path)); return;
    case Shape::Range: range(v, path, &p->words); return;
    case Shape::String: p->strings.push_back(string_value(v, path)); return;
    case Shape::Bytes: bytes(v, path, &p->bytes); return;
    default: return;
    }
}

void element_value(const json &v, const std::string &path, const TypeInfo &info, Pair *p)
{
    switch (info.shape) {
    case Shape::Array: p->words.push_back(word(v, path, info)); return;
    case Shape::RangeArray: range(v, path, &p->words); return;
    case Shape::StringArray: p->strings.push_back(string_value(v, path)); return;
    default: return;
    }
}

}  // namespace inspect
}  // namespace kvs
