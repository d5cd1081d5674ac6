#include "store/registry.h"

#include <ace/OS_NS_Thread.h>

#include <atomic>
#include <thread>
#include <cstring>
#include <functional>
#include <map>
#include <new>

#include "store/alloc.h"
#include "store/registry_internal.h"

namespace kvs {
namespace {

// Every value but 0 and KVS_HANDLE_RESERVED can be a handle.
constexpr std::uint64_t kMaxSets = 0xFFFFFFFEull;

using HandleMap = std::map<CTkvs, KVSetHeader *, std::less<CTkvs>,
                           SeamAllocator<std::pair<const CTkvs, KVSetHeader *>>>;

// Built on first use: the map first, then its mutex; torn down in reverse.
class Registry {
public:
    Registry() { ACE_OS::mutex_init(&mutex_, USYNC_THREAD, static_cast<const char *>(0), 0, 0); }
    ~Registry() { ACE_OS::mutex_destroy(&mutex_); }
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    // Holds the mutex for one scope.
    class Guard {
    public:
        explicit Guard(Registry &r) : r_(r) { ACE_OS::mutex_lock(&r_.mutex_); }
        ~Guard() { ACE_OS::mutex_unlock(&r_.mutex_); }
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;

    private:
        Registry &r_;
    };

    HandleMap map;
    CTkvs counter = 0;
    std::uint64_t capacity = kMaxSets;

private:
    ACE_mutex_t mutex_;
};

// A lock-free cache in front of the map, so that looking up a registered
// handle takes no lock: slot (handle mod size) holds that handle and its
// header, written only under the registry mutex. A reader pins the slot
// while it looks at the header (the signature check); removal clears the
// slot and then waits for the pins in flight before the header is wiped and
// freed, so a lookup racing with a destroy of the same handle either misses
// or reads a header that is still whole. The map stays the one authority: a
// slot holding another handle sends the lookup to the map under the mutex.
// Handles are issued in sequence, so live sets rarely share a slot; each slot
// has its own cache line, so threads on different sets do not share one.
struct alignas(64) CacheSlot {
    std::atomic<std::uint32_t> pins{0};
    std::atomic<CTkvs> handle{0};
    std::atomic<KVSetHeader *> header{nullptr};
};

constexpr std::uint32_t kCacheSlots = 1u << 14;
CacheSlot g_cache[kCacheSlots];

inline CacheSlot &slot_for(CTkvs kvs) { return g_cache[kvs & (kCacheSlots - 1)]; }

// Writer side; the registry mutex is held. The header is published before
// the handle that names it.
void cache_fill_locked(CacheSlot &slot, CTkvs kvs, KVSetHeader *header)
{
    slot.header.store(header);
    slot.handle.store(kvs);
}

// Writer side; the registry mutex is held. After it returns no reader looks
// at the slot's old header any more.
void cache_clear_locked(CacheSlot &slot)
{
    slot.handle.store(0);
    while (slot.pins.load() != 0) std::this_thread::yield();
    slot.header.store(nullptr);
}

bool signature_ok(const KVSetHeader *h);

// Reader side, no lock. Hit: the handle is registered; *verdict is the
// signature check and *header the header. Miss: ask the map.
bool cache_lookup(CTkvs kvs, KVSetHeader **header, CTerror *verdict)
{
    CacheSlot &slot = slot_for(kvs);
    slot.pins.fetch_add(1);
    bool hit = false;
    if (slot.handle.load() == kvs && kvs != 0) {
        KVSetHeader *h = slot.header.load();
        if (h != nullptr) {
            *header = h;
            *verdict = signature_ok(h) ? CT_errorOK : CT_errorInvalidKVSet;
            hit = true;
        }
    }
    slot.pins.fetch_sub(1, std::memory_order_release);
    return hit;
}

Registry &registry()
{
    static Registry instance;
    return instance;
}

KVSetHeader *find_locked(Registry &r, CTkvs kvs)
{
    auto it = r.map.find(kvs);
    return it == r.map.end() ? nullptr : it->second;
}

// Next free handle after the counter, skipping 0 and the reserved value.
// The caller has made sure a free value exists.
CTkvs allocate_handle_locked(Registry &r)
{
    CTkvs candidate = r.counter;
    for (;;) {
        while (candidate == 0 || candidate == KVS_HANDLE_RESERVED) ++candidate;
        r.counter = candidate + 1;
        if (r.map.find(candidate) == r.map.end()) return candidate;
        candidate = r.counter;
    }
}

bool signature_ok(const KVSetHeader *h)
{
    return std::memcmp(h->signature, kSignature, kSignatureChecked) == 0;
}

}  // namespace

CTerror registry_resolve(CTkvs kvs, KVSetHeader **header)
{
    CTerror verdict = CT_errorOK;
    if (cache_lookup(kvs, header, &verdict)) return verdict;
    Registry &r = registry();
    Registry::Guard lock(r);
    KVSetHeader *h = find_locked(r, kvs);
    *header = h;
    if (h == nullptr) return CT_errorInvalidKVSet;
    return signature_ok(h) ? CT_errorOK : CT_errorInvalidKVSet;
}

KVSetHeader *registry_find(CTkvs kvs)
{
    KVSetHeader *cached = nullptr;
    CTerror verdict = CT_errorOK;
    if (cache_lookup(kvs, &cached, &verdict)) return cached;
    Registry &r = registry();
    Registry::Guard lock(r);
    return find_locked(r, kvs);
}

CTkvs registry_add(KVSetHeader *header)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    if (r.map.size() >= r.capacity) return 0;
    CTkvs handle = allocate_handle_locked(r);
    try {
        r.map.emplace(handle, header);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    CacheSlot &slot = slot_for(handle);
    if (slot.handle.load(std::memory_order_relaxed) == 0) cache_fill_locked(slot, handle, header);
    return handle;
}

bool registry_remove(CTkvs kvs)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    auto it = r.map.find(kvs);
    if (it == r.map.end()) return false;
    CacheSlot &slot = slot_for(kvs);
    if (slot.handle.load(std::memory_order_relaxed) == kvs) cache_clear_locked(slot);
    std::memset(it->second->signature, 0, sizeof(it->second->signature));
    r.map.erase(it);
    return true;
}

std::uint32_t registry_count()
{
    Registry &r = registry();
    Registry::Guard lock(r);
    return static_cast<std::uint32_t>(r.map.size());
}

void registry_newest(CTkvs *handles, std::int32_t count)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    auto it = r.map.rbegin();
    for (std::int32_t i = 0; i < count; ++i) {
        if (it != r.map.rend()) {
            handles[i] = it->first;
            ++it;
        } else {
            handles[i] = 0;
        }
    }
}

namespace test {

void set_handle_counter(std::uint32_t next)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    r.counter = next;
}

void set_registry_capacity(std::uint64_t capacity)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    r.capacity = capacity == 0 ? kMaxSets : capacity;
}

}  // namespace test
}  // namespace kvs
