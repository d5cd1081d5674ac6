// The registry: handle issuing and wrap-around, create and destroy, the
// signature check and the counts.
#include <cstring>

#include "support/describe.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

using Registry = KvsTest;

// The first value at or after `from` that the registry would issue.
CTkvs next_free(CTkvs from)
{
    for (CTkvs h = from;; ++h)
        if (h != 0 && h != KVS_HANDLE_RESERVED && !registered(h)) return h;
}

TEST_F(Registry, IssuesHandlesInSequenceSkippingZeroAndTheReservedValue)
{
    kvs::test::set_handle_counter(0);
    const CTkvs first = next_free(1);
    const CTkvs second = next_free(first + 1);
    CTkvs a = make_set(), b = make_set();
    EXPECT_EQ(a, first);
    EXPECT_EQ(b, second);

    kvs::test::set_handle_counter(0x000100AFu);
    ASSERT_FALSE(registered(0x000100AFu));
    ASSERT_FALSE(registered(0x000100B1u));
    EXPECT_EQ(make_set(), 0x000100AFu);
    EXPECT_EQ(make_set(), 0x000100B1u);
    EXPECT_FALSE(registered(KVS_HANDLE_RESERVED));
}

TEST_F(Registry, WrapsRoundAfterTheLargestHandleAndSkipsHandlesStillInUse)
{
    kvs::test::set_handle_counter(0xFFFFFFFEu);
    CTkvs a = make_set(), b = make_set();
    EXPECT_EQ(a, 0xFFFFFFFEu);
    EXPECT_EQ(b, 0xFFFFFFFFu);
    const CTkvs low = next_free(1);
    EXPECT_EQ(make_set(), low);

    // A counter pointing at handles in use moves on to the next free value,
    // wrapping past the top again.
    kvs::test::set_handle_counter(0xFFFFFFFEu);
    const CTkvs expected = next_free(low + 1);  // before make_set(): argument order is unspecified
    EXPECT_EQ(make_set(), expected);

    // A destroyed handle is issued again once the counter comes back to it.
    ASSERT_EQ(destroy(a), ok());
    kvs::test::set_handle_counter(0xFFFFFFFEu);
    EXPECT_EQ(make_set(), 0xFFFFFFFEu);
}

TEST_F(Registry, CreateReportsAFullRegistryInsteadOfSearchingForever)
{
    CTkvs held = make_set();
    CTkvs inner = make_set();
    kvs::test::set_registry_capacity(MRQkvs_GetNumKVS());
    CTkvs h = 12345;
    EXPECT_EQ(run(CTkvs_Create, &h), warning(CT_errorNoResource));
    EXPECT_EQ(h, 0u);
    // A nested put needs a new set too: refused, nothing stored.
    EXPECT_EQ(run(CTkvs_PutKVS, held, 1u, inner), fail(CT_errorNoResource));
    EXPECT_EQ(describe(held), "{}");
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 2);

    kvs::test::set_registry_capacity(0);
    EXPECT_EQ(run(CTkvs_Create, &h), ok());
    own(h);
}

TEST_F(Registry, CreateWithoutMemorySetsTheHandleToZero)
{
    // Headers are recycled by the registry: a create's one allocation is its
    // registry entry. When it fails the handle argument is set to 0.
    CTkvs h = 777;
    kvs::test::fail_allocation(1, kvs::test::FailMode::Once);
    EXPECT_EQ(run(CTkvs_Create, &h), warning(CT_errorNoResource));
    EXPECT_EQ(kvs::test::disarm_allocation_failures(), 1u);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count());
}

TEST_F(Registry, NullReferencesAreRefusedWithoutWriting)
{
    CTkvs h = 5;
    EXPECT_EQ(CTkvs_Create(&h, nullptr), CT_statusFail);
    EXPECT_EQ(h, 5u);
    EXPECT_EQ(run(CTkvs_Create, static_cast<CTkvs *>(nullptr)), fail(CT_errorBadParameter));
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count());

    CTkvs s = make_set();
    EXPECT_EQ(CTkvs_Destroy(s, nullptr), CT_statusFail);
    EXPECT_EQ(ValidateKVS(s), CT_errorOK);
}

TEST_F(Registry, DestroyedHandlesAreUnknownToEveryOperation)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 5), ok());
    ASSERT_EQ(destroy(h), ok());

    EXPECT_EQ(ValidateKVS(h), CT_errorInvalidKVSet);
    EXPECT_EQ(run(CTkvs_Destroy, h), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 0);
    int32_t v = 0;
    EXPECT_EQ(run(CTkvs_GetInt, h, 1u, &v), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_PutInt, h, 1u, 5), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(ValidateKVS(0), CT_errorInvalidKVSet);
    EXPECT_EQ(ValidateKVS(KVS_HANDLE_RESERVED), CT_errorInvalidKVSet);
}

// A registered set whose signature was damaged: only the first five
// characters count, and a damaged set is refused and left alone.
TEST_F(Registry, SignatureCheckComparesTheFirstFiveCharacters)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 5), ok());
    char *signature = kvs::registry_find(h)->signature;
    char saved[sizeof(kvs::KVSetHeader::signature)];
    std::memcpy(saved, signature, sizeof saved);

    signature[5] = 'X';  // beyond the checked part
    EXPECT_EQ(ValidateKVS(h), CT_errorOK);

    signature[4] = 'X';
    EXPECT_EQ(ValidateKVS(h), CT_errorInvalidKVSet);
    EXPECT_EQ(run(CTkvs_Destroy, h), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_PutInt, h, 2u, 6), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_Clear, h), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 1);  // counts do not check the signature
    EXPECT_EQ(describe(h), "{*1:15/1=5}");

    std::memcpy(signature, saved, sizeof saved);
    EXPECT_EQ(ValidateKVS(h), CT_errorOK);
}

TEST_F(Registry, CountsFollowCreatesDestroysAndNestedCopies)
{
    CTkvs outer = make_set();
    CTkvs inner = make_set();
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 2);

    ASSERT_EQ(run(CTkvs_PutKVS, inner, 9u, make_set()), ok());  // inner holds a copy
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 4);
    ASSERT_EQ(run(CTkvs_PutKVS, outer, 1u, inner), ok());  // copy of inner and of its nested set
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 6);
    const CTkvs kvsArray[] = {inner, 0, inner};
    ASSERT_EQ(run(CTkvs_PutKVSArray, outer, 2u, kvsArray, 3u), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 10);
    EXPECT_EQ(MRQkvs_GetNumPairs(outer), 2);

    // Destroying the outer set takes its six nested copies with it.
    EXPECT_EQ(destroy(outer), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 3);
}

TEST_F(Registry, NewestSetsComeLargestFirstAndZerosFillTheRest)
{
    kvs::test::set_handle_counter(0xFFFFFF00u);
    CTkvs a = make_set(), b = make_set(), c = make_set();
    ASSERT_EQ(c, 0xFFFFFF02u) << "the top of the handle range is free";
    ASSERT_EQ(destroy(b), ok());
    CTkvs d = make_set();

    const std::uint32_t n = MRQkvs_GetNumKVS();
    std::vector<CTkvs> handles(n + 3, 0xABABABABu);
    EXPECT_EQ(MRQkvs_GetNewestKVSets(handles.data(), static_cast<int32_t>(n + 2)), 0u);
    EXPECT_EQ(handles[0], d);
    EXPECT_EQ(handles[1], c);
    EXPECT_EQ(handles[2], a);
    for (std::uint32_t i = 1; i < n; ++i) EXPECT_GT(handles[i - 1], handles[i]);
    EXPECT_EQ(handles[n], 0u);
    EXPECT_EQ(handles[n + 1], 0u);
    EXPECT_EQ(handles[n + 2], 0xABABABABu) << "wrote beyond count";

    CTkvs untouched = 0xABABABABu;
    EXPECT_EQ(MRQkvs_GetNewestKVSets(&untouched, 0), 0u);
    EXPECT_EQ(MRQkvs_GetNewestKVSets(&untouched, -1), 0u);
    EXPECT_EQ(untouched, 0xABABABABu);
    EXPECT_EQ(MRQkvs_GetNewestKVSets(nullptr, 4), 0u);
}

TEST_F(Registry, VendorNoOpsAnswerZero)
{
    EXPECT_EQ(CTkvs_NameString(), 0u);
    EXPECT_EQ(CTkvs_ObjectVendor(), 0u);
    EXPECT_EQ(delete_node(nullptr), nullptr);
    dump_line();
}

}  // namespace
}  // namespace kvs::test
