#include "inspect/text.h"

#include <cstdio>
#include <cwchar>

#include "inspect/names.h"
#include "kvset/ctsym.h"
#include "serial/utf16.h"
#include "store/types.h"

namespace kvs {
namespace inspect {

std::string symbol_text(std::uint32_t symbol)
{
    std::string site;
    if (site_name(symbol, &site)) return site;
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
        if (u > serial::kMaxCodePoint || serial::is_surrogate(u)) return false;
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

std::string word_text(const TypeInfo &info, std::uint32_t word)
{
    switch (info.number) {
    case Number::Signed: return std::to_string(static_cast<std::int32_t>(word));
    case Number::Symbol: return symbol_text(word);
    case Number::Unsigned:
    case Number::Bool: break;
    }
    return std::to_string(word);
}

std::string type_name(std::uint32_t type)
{
    const TypeInfo *info = type_info(type);
    if (info == nullptr) return "type " + std::to_string(type);
    return utf8(info->name);
}

}  // namespace inspect
}  // namespace kvs
