// Test control over the allocation seam: count allocations and make the Nth
// one fail, once or from then on. Not part of the public API.
#ifndef KVSET_SRC_STORE_ALLOC_INTERNAL_H
#define KVSET_SRC_STORE_ALLOC_INTERNAL_H

#include <cstdint>

namespace kvs {
namespace test {

enum class FailMode { Once, FromThenOn };

// Counts allocations from now on; the nth (1-based) fails, and with
// FromThenOn every later one too. nth = 0 disarms.
void fail_allocation(std::uint64_t nth, FailMode mode);
// Disarms and returns the number of allocations attempted since arming.
std::uint64_t disarm_allocation_failures();
// Allocations attempted since the last arm (or since load).
std::uint64_t allocations_seen();

// Counts the library's heap blocks obtained minus those released, from zero,
// while on (off by default: the count costs an atomic add per allocation).
// A sequence of operations that leaves the count where it found it released
// everything it took.
void count_live_blocks(bool on);
std::int64_t live_blocks();

}  // namespace test
}  // namespace kvs

#endif
