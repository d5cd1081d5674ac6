#include "store/registry.h"

#include <ace/OS_NS_Thread.h>

#include <atomic>
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
// header, written only under the registry mutex and read through a sequence
// counter (odd while a writer is inside). The map stays the one authority:
// a slot that holds another handle, or changed while read, sends the lookup
// to the map under the mutex. Handles are issued in sequence, so live sets
// rarely share a slot.
struct CacheSlot {
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<CTkvs> handle{0};
    std::atomic<KVSetHeader *> header{nullptr};
};

constexpr std::uint32_t kCacheSlots = 1u << 16;
CacheSlot g_cache[kCacheSlots];

inline CacheSlot &slot_for(CTkvs kvs) { return g_cache[kvs & (kCacheSlots - 1)]; }

// Writer side; the registry mutex is held.
void cache_store_locked(CacheSlot &slot, CTkvs kvs, KVSetHeader *header)
{
    std::uint32_t s = slot.sequence.load(std::memory_order_relaxed);
    slot.sequence.store(s + 1, std::memory_order_relaxed);
    // Release stores: a reader that sees either new field also sees the odd count.
    slot.handle.store(kvs, std::memory_order_release);
    slot.header.store(header, std::memory_order_release);
    slot.sequence.store(s + 2, std::memory_order_release);
}

// Reader side, no lock: true with *header set when the slot holds the handle.
bool cache_lookup(CTkvs kvs, KVSetHeader **header)
{
    CacheSlot &slot = slot_for(kvs);
    std::uint32_t before = slot.sequence.load(std::memory_order_acquire);
    if (before & 1u) return false;
    // Acquire loads keep the second read of the count after the fields.
    CTkvs held = slot.handle.load(std::memory_order_acquire);
    KVSetHeader *h = slot.header.load(std::memory_order_acquire);
    if (slot.sequence.load(std::memory_order_acquire) != before || held != kvs || h == nullptr) return false;
    *header = h;
    return true;
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

}  // namespace

bool signature_ok(const KVSetHeader *h)
{
    return std::memcmp(h->signature, kSignature, kSignatureChecked) == 0;
}

CTerror registry_resolve(CTkvs kvs, KVSetHeader **header)
{
    if (cache_lookup(kvs, header)) return signature_ok(*header) ? CT_errorOK : CT_errorInvalidKVSet;
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
    if (cache_lookup(kvs, &cached)) return cached;
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
    if (slot.handle.load(std::memory_order_relaxed) == 0) cache_store_locked(slot, handle, header);
    return handle;
}

bool registry_remove(CTkvs kvs)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    auto it = r.map.find(kvs);
    if (it == r.map.end()) return false;
    CacheSlot &slot = slot_for(kvs);
    if (slot.handle.load(std::memory_order_relaxed) == kvs) cache_store_locked(slot, 0, nullptr);
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
