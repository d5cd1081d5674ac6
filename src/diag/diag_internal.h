// Test access to the diagnostics. Not part of the public API.
#ifndef KVSET_SRC_DIAG_DIAG_INTERNAL_H
#define KVSET_SRC_DIAG_DIAG_INTERNAL_H

#include <cstdint>

#include "diag/sink.h"
#include "kvset/ctkvs.h"

namespace kvs {
namespace diag {

// The naming service's signature (CTsym_SymbolToName).
using SymbolNamer = std::uint32_t (*)(std::uint32_t context, std::uint32_t symbol, wchar_t **name,
                                      std::uint32_t *capacity, std::uint32_t *error);

namespace test {

// Replaces the naming service the diagnostics call; null restores
// CTsym_SymbolToName. Returns the one replaced.
SymbolNamer set_symbol_namer(SymbolNamer namer);

}  // namespace test

// Renders what MRQkvs_Display writes for one handle into a sink.
void render_display(CTkvs kvs, Sink &out);

// The calling thread's display indentation (0 when no display is running).
int display_indentation();

}  // namespace diag
}  // namespace kvs

#endif
