// Readable text of values and sets for people: the tree of `kvset show` and
// the values quoted by the diff.
#ifndef KVSET_SRC_INSPECT_RENDER_H
#define KVSET_SRC_INSPECT_RENDER_H

#include <cstddef>
#include <string>
#include <vector>

#include "inspect/snapshot.h"

namespace kvs {
namespace inspect {

// A string in double quotes with C-style escapes; a lone surrogate is \uD800,
// a wchar_t beyond Unicode \U0011FFFF. An absent string is null.
std::string quoted(const OptionalString &s);

// One line for a value that is not a set: 30, "abc", [1, 2], 0a0b (2 bytes).
// A nested set or KV-Set array gives its size: "2 pairs", "3 elements".
std::string value_text(const Pair &p);

// One element of an array value (index into words, strings, sets or bytes).
std::string element_text(const Pair &p, std::size_t index);

// The tree: one line a pair, "key (type): value", nested sets indented by
// two spaces. With `offsets` (the byte offset of every pair record in stream
// order, nested records included) each pair line starts with its offset.
// With `style`: at most maxElements elements of an array (0: all), the rest
// as "... N more"; CTtime values with their UTC time beside them.
struct TreeStyle {
    std::size_t maxElements = 0;
    bool utcTimes = false;
};
std::string tree(const Set &set, const std::vector<std::size_t> *offsets, const TreeStyle &style = TreeStyle());

}  // namespace inspect
}  // namespace kvs

#endif
