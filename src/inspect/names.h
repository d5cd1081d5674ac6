// The names a site gives symbols (kvset::loadNames), consulted before the
// symbol library's names wherever inspection prints or reads a symbol.
#ifndef KVSET_SRC_INSPECT_NAMES_H
#define KVSET_SRC_INSPECT_NAMES_H

#include <cstdint>
#include <string>

namespace kvs {
namespace inspect {

// The site's name of symbol, if it has one.
bool site_name(std::uint32_t symbol, std::string *name);
// The symbol of a site name, if there is one.
bool site_symbol(const std::string &name, std::uint32_t *symbol);

}  // namespace inspect
}  // namespace kvs

#endif
