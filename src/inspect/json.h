// The JSON form of a KV-Set (docs/json.md): a JSON array of
// {"key": K, "type": T, "value": V} objects in list order.
#ifndef KVSET_SRC_INSPECT_JSON_H
#define KVSET_SRC_INSPECT_JSON_H

#include <string>

#include "inspect/snapshot.h"

namespace kvs {
namespace inspect {

// The member of the escape object that carries a string which is not valid
// Unicode as its wchar_t values: {"codepoints": [104, 55296]}.
constexpr const char kCodePointsMember[] = "codepoints";

// Appends `text` (UTF-8) as a JSON string literal.
void json_string(std::string *out, const std::string &text);

// The canonical JSON text of a set, ending with a newline.
std::string write_json(const Set &set);

// Parses JSON text into a set. False with *error, which starts with the
// JSON path of the fault ("$[2].value[1]: ...").
bool read_json(const std::string &text, Set *set, std::string *error);

}  // namespace inspect
}  // namespace kvs

#endif
