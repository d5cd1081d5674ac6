// KV-Set -> JSON text. The layout is fixed (one pair a line, nested sets
// indented by two spaces) so that equal sets always give the same text.
#include "inspect/json.h"

#include <cstdio>

#include "inspect/text.h"
#include "serial/utf16.h"

namespace kvs {
namespace inspect {
namespace {

void indent(std::string *out, int depth) { out->append(static_cast<std::size_t>(depth) * 2, ' '); }

// A symbol is written by its name, as a JSON string; numbers as they are.
void word(std::string *out, const TypeInfo &info, std::uint32_t v)
{
    if (info.number == Number::Symbol)
        json_string(out, word_text(info, v));
    else
        *out += word_text(info, v);
}

void range(std::string *out, std::uint32_t lower, std::uint32_t upper)
{
    *out += '[';
    *out += std::to_string(static_cast<std::int32_t>(lower));
    *out += ", ";
    *out += std::to_string(static_cast<std::int32_t>(upper));
    *out += ']';
}

void string_value(std::string *out, const OptionalString &s)
{
    if (!s) {
        *out += "null";
    } else if (is_unicode(*s)) {
        json_string(out, utf8(*s));
    } else {
        *out += "{\"" + std::string(kCodePointsMember) + "\": [";
        for (std::size_t i = 0; i < s->size(); ++i) {
            if (i > 0) *out += ", ";
            *out += std::to_string(static_cast<std::uint32_t>((*s)[i]));
        }
        *out += "]}";
    }
}

void set(std::string *out, const Set &s, int depth);

void value(std::string *out, const Pair &p, int depth)
{
    switch (p.info().shape) {
    case Shape::Scalar: word(out, p.info(), p.words[0]); return;
    case Shape::Char: {
        const std::uint32_t c = p.words[0];
        if (serial::is_surrogate(c)) {
            *out += std::to_string(c);
        } else {
            std::string one;
            append_utf8(&one, c);
            json_string(out, one);
        }
        return;
    }
    case Shape::Range: range(out, p.words[0], p.words[1]); return;
    case Shape::String: string_value(out, p.strings[0]); return;
    case Shape::Nested: set(out, *p.sets[0], depth); return;
    case Shape::Array:
        *out += '[';
        for (std::size_t i = 0; i < p.words.size(); ++i) {
            if (i > 0) *out += ", ";
            word(out, p.info(), p.words[i]);
        }
        *out += ']';
        return;
    case Shape::RangeArray:
        *out += '[';
        for (std::size_t i = 0; i + 1 < p.words.size(); i += 2) {
            if (i > 0) *out += ", ";
            range(out, p.words[i], p.words[i + 1]);
        }
        *out += ']';
        return;
    case Shape::Bytes: {
        static const char kHex[] = "0123456789abcdef";
        *out += '"';
        for (std::uint8_t b : p.bytes) {
            *out += kHex[b >> 4];
            *out += kHex[b & 15];
        }
        *out += '"';
        return;
    }
    case Shape::StringArray:
        *out += '[';
        for (std::size_t i = 0; i < p.strings.size(); ++i) {
            if (i > 0) *out += ", ";
            string_value(out, p.strings[i]);
        }
        *out += ']';
        return;
    case Shape::NestedArray:
        if (p.sets.empty()) {
            *out += "[]";
            return;
        }
        *out += "[\n";
        for (std::size_t i = 0; i < p.sets.size(); ++i) {
            indent(out, depth + 1);
            if (p.sets[i])
                set(out, *p.sets[i], depth + 1);
            else
                *out += "null";
            *out += i + 1 < p.sets.size() ? ",\n" : "\n";
        }
        indent(out, depth);
        *out += ']';
        return;
    }
}

// A set whose opening bracket is already in place on a line indented by depth.
void set(std::string *out, const Set &s, int depth)
{
    if (s.empty()) {
        *out += "[]";
        return;
    }
    *out += "[\n";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const Pair &p = s[i];
        indent(out, depth + 1);
        *out += "{\"key\": ";
        json_string(out, symbol_text(p.key));
        *out += ", \"type\": ";
        json_string(out, type_name(p.type));
        *out += ", \"value\": ";
        value(out, p, depth + 1);
        *out += i + 1 < s.size() ? "},\n" : "}\n";
    }
    indent(out, depth);
    *out += ']';
}

}  // namespace

void json_string(std::string *out, const std::string &text)
{
    *out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': *out += "\\\""; break;
        case '\\': *out += "\\\\"; break;
        case '\b': *out += "\\b"; break;
        case '\f': *out += "\\f"; break;
        case '\n': *out += "\\n"; break;
        case '\r': *out += "\\r"; break;
        case '\t': *out += "\\t"; break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                *out += esc;
            } else {
                *out += ch;
            }
        }
    }
    *out += '"';
}

std::string write_json(const Set &s)
{
    std::string out;
    set(&out, s, 0);
    out += '\n';
    return out;
}

}  // namespace inspect
}  // namespace kvs
