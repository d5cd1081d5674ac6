// The handle lookup: headers recycled through the registry's free list, the
// lock-free cache in front of the map and the map behind it, and stale
// handles refused with the right symbol while other threads create and
// destroy sets (run under ThreadSanitizer in CI).
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "store/registry_cache.h"
#include "store_support.h"

namespace kvstest {
namespace {

using HandleLookup = StoreTest;

// Every way a call reports a handle it does not know: most calls with
// CT_errorInvalidKVSet, the walkers with CT_errorNoResource, the counts 0.
void expect_refused(CTkvs h, const char *why)
{
    SCOPED_TRACE(why);
    EXPECT_EQ(ValidateKVS(h), CT_errorInvalidKVSet);
    int32_t v = 0;
    EXPECT_EQ(run(CTkvs_GetInt, h, 1u, &v), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_PutInt, h, 2u, 7), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_Clear, h), fail(CT_errorNoResource));
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 0);
    EXPECT_FALSE(registered(h));
}

TEST_F(HandleLookup, ADestroyedSetsHeaderServesTheNextCreateAndItsHandleStaysRefused)
{
    CTkvs old = make();
    ASSERT_EQ(run(CTkvs_PutInt, old, 1u, 5), ok());
    const kvs::KVSetHeader *header = kvs::registry_find(old);
    ASSERT_EQ(destroy(old), ok());

    // The create allocates its registry entry only: the header is reused.
    kvs::test::fail_allocation(UINT64_MAX, kvs::test::FailMode::Once);  // count only
    CTkvs fresh = make();
    EXPECT_EQ(kvs::test::disarm_allocation_failures(), 1u);
    EXPECT_EQ(kvs::registry_find(fresh), header);

    expect_refused(old, "the old handle, its header now in use");
    int32_t v = 0;
    EXPECT_EQ(run(CTkvs_GetInt, fresh, 1u, &v), warning(CT_errorNoSuchKey));  // starts empty
    EXPECT_EQ(MRQkvs_GetNumPairs(fresh), 0);
}

// Two live sets in one cache slot: the second is answered by the map. Both
// paths check the signature, both refuse a destroyed handle, and the one
// left is still found after the other went.
TEST_F(HandleLookup, SetsSharingACacheSlotAreFoundRefusedAndCheckedAlike)
{
    const CTkvs base = 0x20000001u;
    kvs::test::set_handle_counter(base);
    CTkvs cached = make();
    kvs::test::set_handle_counter(base + kvs::kCacheSlots);
    CTkvs mapped = make();
    ASSERT_EQ(cached, base);
    ASSERT_EQ(mapped, base + kvs::kCacheSlots);

    for (CTkvs h : {cached, mapped}) {
        SCOPED_TRACE(hex(h));
        ASSERT_EQ(run(CTkvs_PutInt, h, 1u, static_cast<int32_t>(h)), ok());
        char *signature = kvs::registry_find(h)->signature;
        signature[4] = 'X';
        EXPECT_EQ(ValidateKVS(h), CT_errorInvalidKVSet);
        int32_t v = 0;
        EXPECT_EQ(run(CTkvs_GetInt, h, 1u, &v), fail(CT_errorInvalidKVSet));
        EXPECT_EQ(run(CTkvs_Clear, h), fail(CT_errorInvalidKVSet));
        EXPECT_EQ(MRQkvs_GetNumPairs(h), 1);  // counts do not check the signature
        signature[4] = kvs::kSignature[4];
        EXPECT_EQ(run(CTkvs_GetInt, h, 1u, &v), ok());
        EXPECT_EQ(v, static_cast<int32_t>(h));
    }

    ASSERT_EQ(destroy(cached), ok());
    expect_refused(cached, "destroyed, its slot now empty");
    int32_t v = 0;
    EXPECT_EQ(run(CTkvs_GetInt, mapped, 1u, &v), ok());
    ASSERT_EQ(destroy(mapped), ok());
    expect_refused(mapped, "destroyed, answered by the map");
    EXPECT_EQ(ValidateKVS(base + 2 * kvs::kCacheSlots), CT_errorInvalidKVSet);  // never issued
}

// Churning threads create and destroy sets, so headers pass from one handle
// to the next all the time, while readers look up a live set, handles the
// churners destroyed a moment ago, and handles never issued. A lookup that
// took a stale handle for the set now holding its header would answer OK.
TEST(HandleLookupConcurrency, StaleHandlesStayRefusedWhileTheirHeadersAreReused)
{
    const uint32_t before = MRQkvs_GetNumKVS();
    kvs::test::set_handle_counter(0x40000000u);
    CTerror e = 0;
    CTkvs live = 0;
    ASSERT_EQ(CTkvs_Create(&live, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_PutInt(live, 1, 42, &e), CT_statusOK);

    constexpr int kChurners = 2;
    std::atomic<CTkvs> lastDestroyed[kChurners] = {};
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};

    auto churner = [&](int id) {
        CTerror ce = 0;
        for (int round = 0; round < 3000; ++round) {
            CTkvs a = 0, b = 0;
            if (CTkvs_Create(&a, &ce) != CT_statusOK || CTkvs_Create(&b, &ce) != CT_statusOK) ++failures;
            if (CTkvs_PutInt(a, 1, round, &ce) != CT_statusOK) ++failures;
            if (CTkvs_Destroy(a, &ce) != CT_statusOK) ++failures;
            lastDestroyed[id].store(a);
            if (CTkvs_PutInt(b, 1, round, &ce) != CT_statusOK) ++failures;  // b may hold a's header
            if (CTkvs_Destroy(b, &ce) != CT_statusOK) ++failures;
            lastDestroyed[id].store(b);
        }
    };
    auto reader = [&](int id) {
        CTerror re = 0;
        uint32_t i = 0;
        while (!stop.load()) {
            int32_t v = 0;
            if (CTkvs_GetInt(live, 1, &v, &re) != CT_statusOK || v != 42) ++failures;
            const CTkvs stale = lastDestroyed[(i + id) % kChurners].load();
            if (stale != 0) {
                if (CTkvs_GetInt(stale, 1, &v, &re) != CT_statusFail || re != CT_errorInvalidKVSet) ++failures;
                CTsymbol key = 0;
                uint32_t type = 0;
                if (CTkvs_GetNextKey(stale, &key, &type, &re) != CT_statusFail || re != CT_errorNoResource)
                    ++failures;
            }
            if (ValidateKVS(0x50000000u + (i & 0xFFFF)) != CT_errorInvalidKVSet) ++failures;
            ++i;
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(reader, 0);
    threads.emplace_back(reader, 1);
    std::thread c0(churner, 0), c1(churner, 1);
    c0.join();
    c1.join();
    stop = true;
    for (auto &t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(CTkvs_Destroy(live, &e), CT_statusOK);
    EXPECT_EQ(MRQkvs_GetNumKVS(), before);
}

}  // namespace
}  // namespace kvstest
