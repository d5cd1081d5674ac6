// Test hooks into the registry. Not part of the public API.
#ifndef KVSET_SRC_STORE_REGISTRY_INTERNAL_H
#define KVSET_SRC_STORE_REGISTRY_INTERNAL_H

#include <cstdint>

namespace kvs {
namespace test {

// Sets the next handle candidate (wrap-around cases).
void set_handle_counter(std::uint32_t next);
// Limits how many sets may be registered at once (the full-registry case);
// 0 restores the real limit.
void set_registry_capacity(std::uint64_t capacity);

}  // namespace test
}  // namespace kvs

#endif
