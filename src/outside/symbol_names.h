// The one table of symbol names that the symbol library knows.
#ifndef KVSET_SRC_OUTSIDE_SYMBOL_NAMES_H
#define KVSET_SRC_OUTSIDE_SYMBOL_NAMES_H

#include <cstdint>

namespace ctsym {

// The name of a known symbol, or null.
const wchar_t *known_name(std::uint32_t symbol);

// The symbol of a known name; false when the name is not in the table.
bool known_symbol(const wchar_t *name, std::uint32_t *symbol);

}  // namespace ctsym

#endif
