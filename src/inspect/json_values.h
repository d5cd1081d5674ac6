// The rules for the small values of the JSON form (docs/json.md): a key, a
// type name, a single value and one element of an array value, each given
// whole as parsed JSON. The reader (json_read.cc) streams everything larger
// and hands these rules one small value at a time.
#ifndef KVSET_SRC_INSPECT_JSON_VALUES_H
#define KVSET_SRC_INSPECT_JSON_VALUES_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "inspect/snapshot.h"

namespace kvs {
namespace inspect {

// A value the JSON form does not allow; message starts with its JSON path.
struct Refusal {
    std::string message;
};

[[noreturn]] void refuse(const std::string &path, const std::string &why);

// Input echoed in a message: at most kEchoLimit characters, then "...".
constexpr std::size_t kEchoLimit = 60;
std::string clipped(const std::string &text);

std::string index_path(const std::string &path, std::size_t i);
std::string member_path(const std::string &path, const std::string &member);

// "an integer", "a string", "an array", ... for "found ..." messages.
const char *kind(const nlohmann::json &j);
const char *kind(nlohmann::json::value_t type);

std::uint32_t symbol(const nlohmann::json &j, const std::string &path);
// The type of that name, or null.
const TypeInfo *type_by_name(const std::string &name);

// Whether a value of this shape is read whole (not as a set or an array of
// elements that arrive one by one).
bool read_whole(Shape shape);
// Appends a value of a shape read whole to p (words, strings or bytes).
void single_value(const nlohmann::json &v, const std::string &path, const TypeInfo &info, Pair *p);
// Appends one element of an array value of words, ranges or strings to p.
void element_value(const nlohmann::json &v, const std::string &path, const TypeInfo &info, Pair *p);

}  // namespace inspect
}  // namespace kvs

#endif
