// Text pieces every inspection form shares: symbol and type names, and
// UTF-8 from the library's wide strings.
#ifndef KVSET_SRC_INSPECT_TEXT_H
#define KVSET_SRC_INSPECT_TEXT_H

#include <cstdint>
#include <string>

#include "kvset/ctkvs.h"
#include "store/types.h"

namespace kvs {
namespace inspect {

// What every inspection function says when the heap is exhausted.
inline constexpr char kOutOfMemory[] = "out of memory";

// The symbol library's name of a symbol, or "0x" and 8 upper-case hex digits.
std::string symbol_text(std::uint32_t symbol);
// The name of an error symbol for messages: "CT_errorBadFormat".
std::string error_text(CTerror error);

// UTF-8 of a valid Unicode wide string.
std::string utf8(const std::wstring &text);
// Whether every character is a Unicode scalar value (no surrogate, nothing
// above U+10FFFF).
bool is_unicode(const std::wstring &text);
// UTF-8 of one code point (a scalar value).
void append_utf8(std::string *out, std::uint32_t cp);
std::string utf8(const wchar_t *text);

// One 32-bit word of a value as the JSON form and the tree print it: a
// decimal number, or a symbol's name (symbol_text), as the type's table row
// says (its `number` column).
std::string word_text(const TypeInfo &info, std::uint32_t word);

// The type name in UTF-8: "CTint[]".
std::string type_name(std::uint32_t type);

}  // namespace inspect
}  // namespace kvs

#endif
