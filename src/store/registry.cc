#include "store/registry.h"

#include <ace/OS_NS_Thread.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>

#include "diag/leak_report.h"
#include "store/alloc.h"
#include "store/debug_layout.h"
#include "store/registry_internal.h"

namespace kvs {

KVSetHeader g_noHeader{};
CacheSlot g_registryCache[kCacheSlots];

namespace {

// Every value but 0 and KVS_HANDLE_RESERVED can be a handle.
constexpr std::uint64_t kMaxSets = 0xFFFFFFFEull;

using HandleMap = std::map<CTkvs, KVSetHeader *, std::less<CTkvs>,
                           SeamAllocator<std::pair<const CTkvs, KVSetHeader *>>>;

// Headers for the whole life of the library. They are taken from the system
// in chunks, like the cache table is static storage: they are the registry's
// own, kept until unload, so they are not blocks an operation takes and
// gives back, and the allocation seam neither counts nor fails them (a create
// fails on its registry entry). Destroyed sets' headers wait on a free list.
// Used under the registry mutex.
class HeaderPool {
public:
    HeaderPool() = default;
    HeaderPool(const HeaderPool &) = delete;
    HeaderPool &operator=(const HeaderPool &) = delete;
    // While sets are still registered at unload (a program that exits
    // holding them) their headers stay, so what the sets hold is still
    // reachable, as a live set's memory is.
    ~HeaderPool()
    {
        if (taken_ != 0) return;
        while (chunks_ != nullptr) {
            Chunk *next = chunks_->next;
            std::free(chunks_);
            chunks_ = next;
        }
    }

    // A header whose fields other than the signature are zero, or null when
    // the system has no memory for a new chunk.
    KVSetHeader *take()
    {
        if (free_ == nullptr && !grow()) return nullptr;
        Slot *slot = free_;
        free_ = slot->nextFree;
        ++taken_;
        KVSetHeader *h = &slot->header;
        // The signature is shared with lock-free readers; the rest is not.
        static_assert(offsetof(KVSetHeader, signature) == 0, "the signature leads the header");
        std::memset(reinterpret_cast<char *>(h) + sizeof h->signature, 0, sizeof *h - sizeof h->signature);
        return h;
    }

    void give(KVSetHeader *h)
    {
        --taken_;
        park(h);
    }

private:
    struct Slot {
        KVSetHeader header;
        Slot *nextFree;
    };
    static constexpr std::size_t kPerChunk = 64;
    struct Chunk {
        Chunk *next;
        Slot slots[kPerChunk];
    };

    bool grow()
    {
        auto *chunk = static_cast<Chunk *>(std::calloc(1, sizeof(Chunk)));
        if (chunk == nullptr) return false;
        chunk->next = chunks_;
        chunks_ = chunk;
        for (std::size_t i = kPerChunk; i-- > 0;) park(&chunk->slots[i].header);
        return true;
    }

    void park(KVSetHeader *h)
    {
        Slot *slot = reinterpret_cast<Slot *>(h);  // the header is the slot's first member
        slot->nextFree = free_;
        free_ = slot;
    }

    Chunk *chunks_ = nullptr;
    Slot *free_ = nullptr;
    std::size_t taken_ = 0;  // headers of registered sets
};

// Built on first use: the map and the headers first, then the mutex; torn
// down in reverse.
class Registry {
public:
    // The map's end is its header node, where a debugger starts reading.
    Registry()
    {
        ACE_OS::mutex_init(&mutex_, USYNC_THREAD, static_cast<const char *>(0), 0, 0);
        debug_layout_publish(map.end()._M_node);
    }
    // The leak report runs first, while the map, the headers and the mutex
    // are all still there (the members go after this body, the mutex here).
    ~Registry()
    {
        report_leaks();
        ACE_OS::mutex_destroy(&mutex_);
    }
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

    HeaderPool headers;
    HandleMap map;
    CTkvs counter = 0;
    std::uint64_t capacity = kMaxSets;

private:
    void report_leaks()
    {
        if (map.empty() || !diag::leak_report_wanted()) return;
        Guard lock(*this);
        std::size_t count = 0;
        for (const auto &entry : map) count += diag::leak_reported(*entry.second) ? 1 : 0;
        if (count == 0) return;
        diag::write_leak_heading(stderr, count);
        for (const auto &entry : map)
            if (diag::leak_reported(*entry.second)) diag::write_leaked_set(stderr, entry.first, *entry.second);
    }

    ACE_mutex_t mutex_;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

// ---- writer side of the cache and the signature; the mutex is held -------
// A slot changes between an odd and the next even version; the stores
// between them are release stores, so a reader that sees any of them also
// sees the odd version when it reads the version again.

void begin_slot_change(CacheSlot &slot)
{
    slot.version.store(slot.version.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void end_slot_change(CacheSlot &slot)
{
    slot.version.store(slot.version.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

// Writes the signature, or zeros over it, one byte at a time.
void store_signature(KVSetHeader *h, bool intact)
{
    for (std::size_t i = 0; i < sizeof h->signature; ++i) {
        const char c = intact && i < sizeof kSignature ? kSignature[i] : '\0';
        __atomic_store_n(&h->signature[i], c, __ATOMIC_RELEASE);
    }
}

// The header is published before the handle that names it.
void cache_fill_locked(CacheSlot &slot, CTkvs kvs, KVSetHeader *header)
{
    begin_slot_change(slot);
    slot.header.store(header, std::memory_order_release);
    slot.handle.store(kvs, std::memory_order_release);
    end_slot_change(slot);
}

// Unregisters the header's signature, and the cached handle with it when the
// slot holds it, so a reader either saw both as they were or misses.
void wipe_locked(CTkvs kvs, KVSetHeader *header)
{
    CacheSlot &slot = cache_slot(kvs);
    if (slot.handle.load(std::memory_order_relaxed) != kvs) {
        store_signature(header, false);
        return;
    }
    begin_slot_change(slot);
    slot.handle.store(0, std::memory_order_release);
    slot.header.store(&g_noHeader, std::memory_order_release);
    store_signature(header, false);
    end_slot_change(slot);
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

Resolved registry_resolve_locked(CTkvs kvs)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    KVSetHeader *h = find_locked(r, kvs);
    if (h == nullptr) return {nullptr, CT_errorInvalidKVSet};
    return {h, signature_intact(h) ? CT_errorOK : CT_errorInvalidKVSet};
}

KVSetHeader *registry_find_locked(CTkvs kvs)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    return find_locked(r, kvs);
}

CTerror registry_add(std::int32_t level, CTkvs *handle, KVSetHeader **header)
{
    *header = nullptr;
    Registry &r = registry();
    Registry::Guard lock(r);
    KVSetHeader *h = r.headers.take();
    if (h == nullptr) return CT_errorNoResource;
    *handle = 0;
    if (r.map.size() >= r.capacity) {
        r.headers.give(h);
        return CT_errorNoResource;
    }
    const CTkvs issued = allocate_handle_locked(r);
    try {
        r.map.emplace(issued, h);
    } catch (const std::bad_alloc &) {
        r.headers.give(h);
        return CT_errorNoResource;
    }
    h->level = level;
    store_signature(h, true);
    CacheSlot &slot = cache_slot(issued);
    if (slot.handle.load(std::memory_order_relaxed) == 0) cache_fill_locked(slot, issued, h);
    *handle = issued;
    *header = h;
    return CT_errorOK;
}

bool registry_remove(CTkvs kvs)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    auto it = r.map.find(kvs);
    if (it == r.map.end()) return false;
    KVSetHeader *h = it->second;
    wipe_locked(kvs, h);
    r.map.erase(it);
    r.headers.give(h);
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
