#include "store/registry.h"

#include <ace/OS_NS_Thread.h>

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

CTerror registry_resolve(CTkvs kvs, KVSetHeader **header)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    KVSetHeader *h = find_locked(r, kvs);
    *header = h;
    if (h == nullptr) return CT_errorInvalidKVSet;
    return std::memcmp(h->signature, kSignature, kSignatureChecked) == 0 ? CT_errorOK : CT_errorInvalidKVSet;
}

KVSetHeader *registry_find(CTkvs kvs)
{
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
    return handle;
}

bool registry_remove(CTkvs kvs)
{
    Registry &r = registry();
    Registry::Guard lock(r);
    auto it = r.map.find(kvs);
    if (it == r.map.end()) return false;
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
