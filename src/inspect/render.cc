#include "inspect/render.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "inspect/text.h"
#include "serial/utf16.h"

namespace kvs {
namespace inspect {
namespace {

std::string plural(std::size_t n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string hex_escape(const char *form, std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, form, v);
    return buf;
}

std::string range_text(std::uint32_t lower, std::uint32_t upper)
{
    return "[" + std::to_string(static_cast<std::int32_t>(lower)) + ", " +
           std::to_string(static_cast<std::int32_t>(upper)) + "]";
}

std::string char_text(std::uint32_t c)
{
    if (c >= 0x20 && c < 0x7F && c != '\'' && c != '\\') return std::string("'") + static_cast<char>(c) + "'";
    if (c >= 0xA0 && !serial::is_surrogate(c)) {
        std::string s = "'";
        append_utf8(&s, c);
        return s + "' " + hex_escape("U+%04X", c);
    }
    return hex_escape("U+%04X", c);
}

// A CTtime value as seconds since 1 January 1970, UTC.
std::string utc_text(std::uint32_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (gmtime_r(&t, &parts) == nullptr) return "?";
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buf;
}

bool is_time(std::uint32_t type) { return type == KV_TYPE_TIME || type == KV_TYPE_TIME_ARRAY; }

std::string more_text(std::size_t n) { return "... " + std::to_string(n) + " more"; }

struct Line {
    std::size_t offset;
    bool hasOffset;
    int depth;
    std::string text;
};

class TreeWriter {
public:
    TreeWriter(const std::vector<std::size_t> *offsets, const TreeStyle &style) : offsets_(offsets), style_(style) {}

    void set(const Set &s, int depth)
    {
        for (const Pair &p : s) {
            Line line{0, false, depth, symbol_text(p.key) + " (" + type_name(p.type) + "): " + value(p)};
            if (offsets_ != nullptr && next_ < offsets_->size()) {
                line.offset = (*offsets_)[next_++];
                line.hasOffset = true;
            }
            lines_.push_back(line);
            if (p.info().shape == Shape::Nested) {
                set(*p.sets[0], depth + 1);
            } else if (p.info().shape == Shape::NestedArray) {
                const std::size_t shown = limited(p.sets.size());
                for (std::size_t i = 0; i < shown; ++i) {
                    lines_.push_back({0, false, depth + 1, "[" + std::to_string(i) + "]: " + element_text(p, i)});
                    if (p.sets[i]) set(*p.sets[i], depth + 2);
                }
                if (shown < p.sets.size()) lines_.push_back({0, false, depth + 1, more_text(p.sets.size() - shown)});
            }
        }
    }

    std::string text() const
    {
        std::size_t width = 0;
        if (offsets_ != nullptr)
            for (const Line &l : lines_)
                if (l.hasOffset) width = std::max(width, std::to_string(l.offset).size());
        std::string out;
        for (const Line &l : lines_) {
            if (offsets_ != nullptr) {
                std::string o = l.hasOffset ? std::to_string(l.offset) : std::string();
                out.append(width - o.size(), ' ');
                out += o + "  ";
            }
            out.append(static_cast<std::size_t>(l.depth) * 2, ' ');
            out += l.text + "\n";
        }
        return out;
    }

private:
    std::size_t limited(std::size_t n) const
    {
        return style_.maxElements != 0 && n > style_.maxElements ? style_.maxElements : n;
    }

    std::string element(const Pair &p, std::size_t i) const
    {
        std::string text = element_text(p, i);
        if (style_.utcTimes && is_time(p.type)) text += " (" + utc_text(p.words[i]) + ")";
        return text;
    }

    // value_text, with the style's times and element limit.
    std::string value(const Pair &p) const
    {
        const Shape shape = p.info().shape;
        if (shape == Shape::Scalar) return style_.utcTimes && is_time(p.type) ? element(p, 0) : value_text(p);
        const bool listed = is_array_shape(shape) && shape != Shape::NestedArray;
        const std::size_t n = listed ? p.elements() : 0;
        if (!listed || (limited(n) == n && !(style_.utcTimes && is_time(p.type)))) return value_text(p);
        const std::size_t shown = limited(n);
        if (shape == Shape::Bytes) {
            std::string out;
            for (std::size_t i = 0; i < shown; ++i) out += element_text(p, i);
            return out + " " + more_text(n - shown) + " (" + plural(n, "byte", "bytes") + ")";
        }
        std::string out = "[";
        for (std::size_t i = 0; i < shown; ++i) out += (i > 0 ? ", " : "") + element(p, i);
        if (shown < n) out += (shown > 0 ? ", " : "") + more_text(n - shown);
        return out + "]";
    }

    const std::vector<std::size_t> *offsets_;
    TreeStyle style_;
    std::size_t next_ = 0;
    std::vector<Line> lines_;
};

}  // namespace

std::string quoted(const OptionalString &s)
{
    if (!s) return "null";
    std::string out = "\"";
    for (wchar_t wc : *s) {
        const auto c = static_cast<std::uint32_t>(wc);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F)
                out += hex_escape("\\u%04X", c);
            else if (serial::is_surrogate(c))
                out += hex_escape("\\u%04X", c);
            else if (c > serial::kMaxCodePoint)
                out += hex_escape("\\U%08X", c);
            else
                append_utf8(&out, c);
        }
    }
    return out + "\"";
}

std::string element_text(const Pair &p, std::size_t i)
{
    switch (p.info().shape) {
    case Shape::Bytes: return hex_escape("%02x", p.bytes[i]);
    case Shape::RangeArray: return range_text(p.words[2 * i], p.words[2 * i + 1]);
    case Shape::StringArray: return quoted(p.strings[i]);
    case Shape::NestedArray: return p.sets[i] ? plural(p.sets[i]->size(), "pair", "pairs") : "empty";
    default: return word_text(p.info(), p.words[i]);
    }
}

std::string value_text(const Pair &p)
{
    switch (p.info().shape) {
    case Shape::Scalar: return word_text(p.info(), p.words[0]);
    case Shape::Char: return char_text(p.words[0]);
    case Shape::Range: return range_text(p.words[0], p.words[1]);
    case Shape::String: return quoted(p.strings[0]);
    case Shape::Nested: return plural(p.sets[0]->size(), "pair", "pairs");
    case Shape::NestedArray: return plural(p.sets.size(), "element", "elements");
    case Shape::Bytes: {
        std::string out;
        for (std::uint8_t b : p.bytes) out += hex_escape("%02x", b);
        return out + (out.empty() ? "" : " ") + "(" + plural(p.bytes.size(), "byte", "bytes") + ")";
    }
    default: {
        std::string out = "[";
        for (std::size_t i = 0; i < p.elements(); ++i) out += (i > 0 ? ", " : "") + element_text(p, i);
        return out + "]";
    }
    }
}

std::string tree(const Set &set, const std::vector<std::size_t> *offsets, const TreeStyle &style)
{
    TreeWriter writer(offsets, style);
    writer.set(set, 0);
    return writer.text();
}

}  // namespace inspect
}  // namespace kvs
