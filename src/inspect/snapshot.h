// A plain C++ copy of a KV-Set, read through the public API and written back
// through the public puts. The JSON bridge, the diff and the tree rendering
// all work on this copy, so they share one walk and one way of building sets.
#ifndef KVSET_SRC_INSPECT_SNAPSHOT_H
#define KVSET_SRC_INSPECT_SNAPSHOT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/types.h"

namespace kvs {
namespace inspect {

struct Pair;
using Set = std::vector<Pair>;
using OptionalString = std::optional<std::wstring>;  // nullopt: an absent string
using OptionalSet = std::optional<Set>;              // nullopt: an empty KV-Set array element

// One pair. Which member holds the value depends on the type's shape:
// Scalar, Char, Array: words (one per element; a char in the low 16 bits);
// Range, RangeArray: words (lower, upper per range); Bytes: bytes;
// String, StringArray: strings; Nested, NestedArray: sets.
struct Pair {
    std::uint32_t key = 0;
    std::uint32_t type = 0;  // a code that type_info() knows
    std::vector<std::uint32_t> words;
    std::vector<std::uint8_t> bytes;
    std::vector<OptionalString> strings;
    std::vector<OptionalSet> sets;

    const TypeInfo &info() const { return *type_info(type); }
    // Elements of an array value (ranges for a range array, bytes for Byte[]).
    std::size_t elements() const;
};

// Copies every pair of `kvs`, nested sets included. Walking moves the
// iteration position of kvs and of its nested sets past their last pair.
// False with *error when the set cannot be read (a handle that is not a
// valid set, a nested set no longer registered).
bool read_set(CTkvs kvs, Set *out, std::string *error);

// Creates a new registered set holding `set`; the caller destroys it. On
// failure nothing stays registered, *kvs is 0 and *error says why.
bool make_set(const Set &set, CTkvs *kvs, std::string *error);

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

// The S.100 type name in UTF-8: "CTint[]".
std::string type_name(std::uint32_t type);

}  // namespace inspect
}  // namespace kvs

#endif
