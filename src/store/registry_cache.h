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
#include <cstddef>
#include <cstdint>

#include "kvset/ctkvs.h"
#include "kvset/export.h"
#include "store/model.h"

namespace kvs {

// The header an empty slot names: its signature is all zeros, so a lookup
// that matches an empty slot's handle (0) never takes it for a set.
extern KVS_LOCAL KVSetHeader g_noHeader;

struct alignas(64) CacheSlot {
    std::atomic<std::uint32_t> version{0};  // odd while a writer changes the slot
    std::atomic<CTkvs> handle{0};           // 0: empty
    std::atomic<KVSetHeader *> header{&g_noHeader};
};

constexpr std::uint32_t kCacheSlots = 1u << 14;
extern KVS_LOCAL CacheSlot g_registryCache[kCacheSlots];

inline CacheSlot &cache_slot(CTkvs kvs) { return g_registryCache[kvs & (kCacheSlots - 1)]; }

// Signature bytes are shared with lock-free readers: these are their only
// accessors inside the library. The check reads the first four characters
// as one little-endian word and the fifth alone.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the signature word is read little-endian");
static_assert(kSignatureChecked == 5, "the check reads a word and one character");
using SignatureWord = std::uint32_t __attribute__((may_alias));
constexpr std::uint32_t kSignatureWord =
    static_cast<std::uint8_t>(kSignature[0]) | static_cast<std::uint8_t>(kSignature[1]) << 8 |
    static_cast<std::uint8_t>(kSignature[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(kSignature[3])) << 24;

inline bool signature_intact(const KVSetHeader *h)
{
    static_assert(alignof(KVSetHeader) >= alignof(std::uint32_t) && offsetof(KVSetHeader, signature) == 0,
                  "the signature word is aligned");
    const auto *word = reinterpret_cast<const SignatureWord *>(h->signature);
    return __atomic_load_n(word, __ATOMIC_ACQUIRE) == kSignatureWord &&
           __atomic_load_n(&h->signature[4], __ATOMIC_ACQUIRE) == kSignature[4];
}

// Reader side: true with *header set when the slot names the handle and the
// header's signature is intact, all seen at one moment. False, with nothing
// written, otherwise (another handle, an empty or changing slot, a broken
// signature): ask the map.
inline bool cache_read(CTkvs kvs, KVSetHeader **header)
{
    const CacheSlot &slot = cache_slot(kvs);
    const std::uint32_t before = slot.version.load(std::memory_order_acquire);
    if (slot.handle.load(std::memory_order_acquire) != kvs) return false;
    KVSetHeader *h = slot.header.load(std::memory_order_acquire);
    if (!signature_intact(h)) return false;
    // The acquire loads above keep this one after them.
    if ((before & 1u) != 0 || slot.version.load(std::memory_order_relaxed) != before) return false;
    *header = h;
    return true;
}

}  // namespace kvs

#endif
