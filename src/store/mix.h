// The 64-bit finaliser of SplitMix64: every output bit depends on every
// input bit. Used to turn clocks, counters and addresses into seeds and names.
#ifndef KVSET_SRC_STORE_MIX_H
#define KVSET_SRC_STORE_MIX_H

#include <cstdint>

namespace kvs {

inline std::uint64_t mix64(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace kvs

#endif
