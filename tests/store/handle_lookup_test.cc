// The handle lookup: headers recycled through the registry's free list, the
// lock-free cache in front of the map and the map behind it. (Stale handles
// while other threads reuse their headers: store/concurrency_test.cc.)
#include <cstring>

#include "store/registry_cache.h"
#include "store/registry_internal.h"
#include "support/describe.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

using HandleLookup = KvsTest;

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
    CTkvs old = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, old, 1u, 5), ok());
    const kvs::KVSetHeader *header = kvs::registry_find(old);
    ASSERT_EQ(destroy(old), ok());

    // The create allocates its registry entry only: the header is reused.
    kvs::test::fail_allocation(UINT64_MAX, kvs::test::FailMode::Once);  // count only
    CTkvs fresh = make_set();
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
    CTkvs cached = make_set();
    kvs::test::set_handle_counter(base + kvs::kCacheSlots);
    CTkvs mapped = make_set();
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

}  // namespace
}  // namespace kvs::test
