// Symbol names for the diagnostics, through the symbol library's naming
// service.
#ifndef KVSET_SRC_DIAG_NAMES_H
#define KVSET_SRC_DIAG_NAMES_H

#include <cstdint>

namespace kvs {
namespace diag {

// A 128-character name buffer local to one rendering call.
class NameBuffer {
public:
    // Names `symbol` and returns the name, valid until the next lookup.
    // Every lookup starts from the empty buffer with the full capacity of
    // 127, whatever the service did to either before, and the name read back
    // is cut at 127 characters: a failing or misbehaving service leaves an
    // empty or short name, never a stale one or an overrun.
    const wchar_t *lookup(std::uint32_t symbol);

private:
    static constexpr std::uint32_t kCapacity = 127;
    wchar_t buffer_[kCapacity + 1] = {};
};

}  // namespace diag
}  // namespace kvs

#endif
