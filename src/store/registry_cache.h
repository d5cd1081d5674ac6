// The registry's lock-free cache: the lookup of a registered handle, inline
// in every call, with no lock and no locked instruction.
//
// Slot (handle mod size) holds one registered handle and its header. Each
// slot is a sequence lock: its version is odd while a writer (under the
// registry mutex) changes the slot, and a reader takes the handle, the
// header and the header's signature only if the version was even before and
// is the same after. Every field a racing reader can see is read and written
// atomically (the signature one byte at a time), ordered by acquire loads and
// release stores, which on x86-64 are plain moves. A reader may look at the
// signature of a header that is being destroyed and reused meanwhile: headers
// are never freed while the library is loaded, and the version tells it to
// ask the map instead. Handles are issued in sequence, so live sets rarely
// share a slot; each slot has its own cache line.
#ifndef KVSET_SRC_STORE_REGISTRY_CACHE_H
#define KVSET_SRC_STORE_REGISTRY_CACHE_H

#include <atomic>
#include <cstdint>

#include "kvset/ctkvs.h"
#include "kvset/export.h"
#include "store/model.h"

namespace kvs {

struct alignas(64) CacheSlot {
    std::atomic<std::uint32_t> version{0};  // odd while a writer changes the slot
    std::atomic<CTkvs> handle{0};           // 0: empty
    std::atomic<KVSetHeader *> header{nullptr};  // set before the first handle, never null again
};

constexpr std::uint32_t kCacheSlots = 1u << 14;
extern KVS_LOCAL CacheSlot g_registryCache[kCacheSlots];

inline CacheSlot &cache_slot(CTkvs kvs) { return g_registryCache[kvs & (kCacheSlots - 1)]; }

// Signature bytes are shared with lock-free readers: these are their only
// accessors inside the library.
inline char signature_byte(const KVSetHeader *h, int i)
{
    return __atomic_load_n(&h->signature[i], __ATOMIC_ACQUIRE);
}

inline bool signature_intact(const KVSetHeader *h)
{
#pragma GCC unroll 8
    for (int i = 0; i < kSignatureChecked; ++i)
        if (signature_byte(h, i) != kSignature[i]) return false;
    return true;
}

// What a lookup found: the registered header (null when none) and the
// verdict of the signature check (CT_errorOK or CT_errorInvalidKVSet).
struct Resolved {
    KVSetHeader *header;
    CTerror verdict;
};

// Reader side. Hit: the handle was registered with that header, and the
// verdict is its signature check, all seen at one moment. Miss (header
// null): the slot holds another handle or was changing; ask the map.
inline Resolved cache_read(CTkvs kvs)
{
    const CacheSlot &slot = cache_slot(kvs);
    const std::uint32_t before = slot.version.load(std::memory_order_acquire);
    if (slot.handle.load(std::memory_order_acquire) != kvs || kvs == 0) return {nullptr, CT_errorOK};
    KVSetHeader *h = slot.header.load(std::memory_order_acquire);
    const bool intact = signature_intact(h);
    // The acquire loads above keep this one after them.
    if ((before & 1u) != 0 || slot.version.load(std::memory_order_relaxed) != before) return {nullptr, CT_errorOK};
    return {h, intact ? CT_errorOK : CT_errorInvalidKVSet};
}

}  // namespace kvs

#endif
