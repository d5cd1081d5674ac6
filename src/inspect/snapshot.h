// A plain C++ copy of a KV-Set, read from the store's pair list and written
// back through the store's puts, both driven by the type table's shapes. The
// JSON bridge, the diff and the tree rendering all work on this copy, so they
// share one walk and one way of building sets.
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

// Copies every pair of `kvs`, nested sets included. The iteration position
// of kvs and of its nested sets stays where it was. False with *error when
// the set cannot be read (a handle that is not a valid set, a nested set no
// longer registered, a pair of a type no put stores).
bool read_set(CTkvs kvs, Set *out, std::string *error);

// Creates a new registered set holding `set`; the caller destroys it. On
// failure nothing stays registered, *kvs is 0 and *error says why.
bool make_set(const Set &set, CTkvs *kvs, std::string *error);

}  // namespace inspect
}  // namespace kvs

#endif
