// The one cursor of a set: walks, the type query, removal and clear, and who
// moves the cursor.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/describe.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

using Walk = KvsTest;
using Remove = KvsTest;

// One GetNext step rendered as "key:type/count", or the outcome's symbol.
std::string step(CTkvs h, CTsymbol *cursor)
{
    CTsymbol key = 0;
    uint32_t type = 0;
    int32_t count = 0;
    Outcome o = run(CTkvs_GetNext, h, cursor, &key, &type, &count);
    if (o == warning(CT_errorEndOfList)) return "end";
    if (o != ok()) return symbol_name(o.error);
    if (*cursor != key) return "cursor not moved";
    return hex(key) + ":" + std::to_string(type) + "/" + std::to_string(count);
}

// Walks from the first pair, passing a cursor other than CT_keyFirst after
// the first step, until the end.
std::vector<std::string> walk_all(CTkvs h)
{
    std::vector<std::string> seen;
    CTsymbol cursor = CT_keyFirst;
    for (std::string s = step(h, &cursor); s != "end" && seen.size() < 100; s = step(h, &cursor)) {
        seen.push_back(s);
        cursor = 0;
    }
    return seen;
}

using Steps = std::vector<std::string>;

TEST_F(Walk, ANewSetIsAtTheEndWhateverTheCursor)
{
    CTkvs h = make_set();
    CTsymbol cursor = CT_keyFirst;
    EXPECT_EQ(step(h, &cursor), "end");
    cursor = 7;
    EXPECT_EQ(step(h, &cursor), "end");
    CTsymbol key = CT_keyFirst;
    uint32_t type = 0;
    EXPECT_EQ(run(CTkvs_GetNextKey, h, &key, &type), warning(CT_errorEndOfList));
    EXPECT_EQ(key, CT_keyFirst);
}

TEST_F(Walk, DeliversPairsInFirstPutOrderThenTheEnd)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 30u, 1), ok());
    ASSERT_EQ(run(CTkvs_PutIrange, h, 10u, 1, 2), ok());
    const int32_t three[] = {1, 2, 3};
    ASSERT_EQ(run(CTkvs_PutIntArray, h, 20u, three, 3u), ok());
    ASSERT_EQ(run(PutWide, h, 10u, L"replaced"), ok());  // keeps its place
    EXPECT_EQ(walk_all(h), (Steps{"1E:15/1", "A:62/1", "14:106/3"}));

    // The cursor is left past the last pair: every further step is the end.
    CTsymbol cursor = 0;
    EXPECT_EQ(step(h, &cursor), "end");
    EXPECT_EQ(describe(h), "{1E:15/1=1; A:62/1=\"replaced\"; 14:106/3=[1,2,3]}");
    // CT_keyFirst starts again.
    cursor = CT_keyFirst;
    EXPECT_EQ(step(h, &cursor), "1E:15/1");
}

TEST_F(Walk, GetNextKeyDeliversKeyAndTypeAndStaysOnTheLastPairAtTheEnd)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
    ASSERT_EQ(run(CTkvs_PutUint, h, 2u, 2u), ok());
    CTsymbol key = CT_keyFirst;
    uint32_t type = 0;
    ASSERT_EQ(run(CTkvs_GetNextKey, h, &key, &type), ok());
    EXPECT_EQ(key, 1u);
    EXPECT_EQ(type, 15u);
    ASSERT_EQ(run(CTkvs_GetNextKey, h, &key, &type), ok());
    EXPECT_EQ(key, 2u);
    EXPECT_EQ(type, 24u);
    EXPECT_EQ(run(CTkvs_GetNextKey, h, &key, &type), warning(CT_errorEndOfList));
    EXPECT_EQ(key, 2u);
    EXPECT_EQ(describe(h), "{1:15/1=1; *2:24/1=2}");
}

TEST_F(Walk, RefusesBadHandlesAndMissingReferences)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
    const CTkvs dead = 0x7FFFFFF1u;
    CTsymbol key = CT_keyFirst, cursor = CT_keyFirst;
    uint32_t type = 0;
    int32_t count = 0;
    EXPECT_EQ(run(CTkvs_GetNextKey, dead, &key, &type), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_GetNext, dead, &cursor, &key, &type, &count), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_GetNextKey, h, static_cast<CTsymbol *>(nullptr), &type), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_GetNextKey, h, &key, static_cast<uint32_t *>(nullptr)), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_GetNext, h, static_cast<CTsymbol *>(nullptr), &key, &type, &count), fail(CT_errorBadParameter));
    EXPECT_EQ(run(CTkvs_GetNext, h, &cursor, &key, &type, static_cast<int32_t *>(nullptr)), fail(CT_errorBadParameter));
    EXPECT_EQ(CTkvs_GetNextKey(h, &key, &type, nullptr), CT_statusFail);
    EXPECT_EQ(CTkvs_GetNext(h, &cursor, &key, &type, &count, nullptr), CT_statusFail);
    EXPECT_EQ(describe(h), "{*1:15/1=1}") << "a refused step does not move the cursor";
}

TEST_F(Walk, PutsAndTypeQueriesMoveTheCursorGetsDoNot)
{
    CTkvs h = make_set();
    for (CTsymbol k : {1u, 2u, 3u, 4u}) ASSERT_EQ(run(CTkvs_PutInt, h, k, 0), ok());
    CTsymbol cursor = CT_keyFirst;
    ASSERT_EQ(step(h, &cursor), "1:15/1");
    ASSERT_EQ(run(CTkvs_PutInt, h, 2u, 9), ok());  // replace: the walk continues after it
    EXPECT_EQ(step(h, &cursor), "3:15/1");
    int32_t v = 0;
    ASSERT_EQ(run(CTkvs_GetInt, h, 1u, &v), ok());  // a get does not disturb it
    EXPECT_EQ(step(h, &cursor), "4:15/1");

    cursor = CT_keyFirst;
    ASSERT_EQ(step(h, &cursor), "1:15/1");
    uint32_t type = 0;
    ASSERT_EQ(run(CTkvs_GetType, h, 3u, &type), ok());
    EXPECT_EQ(type, 15u);
    EXPECT_EQ(step(h, &cursor), "4:15/1");

    cursor = CT_keyFirst;
    ASSERT_EQ(step(h, &cursor), "1:15/1");
    ASSERT_EQ(run(CTkvs_PutInt, h, 5u, 5), ok());  // a new key: appended, so the walk is at its end
    EXPECT_EQ(step(h, &cursor), "end");
}

TEST_F(Walk, TypeQueryAnswers)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutError, h, 1u, CT_errorOK), ok());
    uint32_t type = 0;
    EXPECT_EQ(run(CTkvs_GetType, h, 1u, &type), ok());
    EXPECT_EQ(type, 21u);
    type = 99;
    EXPECT_EQ(run(CTkvs_GetType, h, 2u, &type), warning(CT_errorNoSuchKey));
    EXPECT_EQ(type, 99u);
    EXPECT_EQ(run(CTkvs_GetType, 0x7FFFFFF1u, 1u, &type), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_GetType, h, 1u, static_cast<uint32_t *>(nullptr)), fail(CT_errorBadParameter));
}

TEST_F(Walk, APairKeyedByTheFirstCursorRestartsAWalkThatPassesTheKeyBack)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
    ASSERT_EQ(run(CTkvs_PutInt, h, CT_keyFirst, 2), ok());
    ASSERT_EQ(run(CTkvs_PutInt, h, 3u, 3), ok());
    CTsymbol cursor = CT_keyFirst;
    EXPECT_EQ(step(h, &cursor), "1:15/1");
    EXPECT_EQ(step(h, &cursor), "200B0:15/1");
    EXPECT_EQ(cursor, CT_keyFirst);
    EXPECT_EQ(step(h, &cursor), "1:15/1");
    EXPECT_EQ(walk_all(h), (Steps{"1:15/1", "200B0:15/1", "3:15/1"}));
}

// ---- Removal and clear ----------------------------------------------------

TEST_F(Remove, RemovingTheDeliveredPairSkipsTheOneAfterIt)
{
    CTkvs h = make_set();
    for (CTsymbol k : {1u, 2u, 3u, 4u}) ASSERT_EQ(run(CTkvs_PutInt, h, k, static_cast<int32_t>(k)), ok());
    CTsymbol cursor = CT_keyFirst;
    ASSERT_EQ(step(h, &cursor), "1:15/1");
    ASSERT_EQ(step(h, &cursor), "2:15/1");
    const CTsymbol two = 2;
    ASSERT_EQ(run(CTkvs_Remove, h, &two, 1), ok());
    EXPECT_EQ(describe(h), "{1:15/1=1; *3:15/1=3; 4:15/1=4}");
    EXPECT_EQ(step(h, &cursor), "4:15/1");
}

TEST_F(Remove, KeepsTheListWholeWhicheverPairsGo)
{
    struct Case {
        std::vector<CTsymbol> keys;
        const char *left;  // after the removal
        const char *grown; // after a put of key 9
    };
    const Case cases[] = {
        {{1}, "{*2:15/1=2; 3:15/1=3}", "{2:15/1=2; 3:15/1=3; *9:15/1=9}"},
        {{3}, "{1:15/1=1; 2:15/1=2}", "{1:15/1=1; 2:15/1=2; *9:15/1=9}"},
        {{2}, "{1:15/1=1; *3:15/1=3}", "{1:15/1=1; 3:15/1=3; *9:15/1=9}"},
        {{1, 1, 7}, "{*2:15/1=2; 3:15/1=3}", "{2:15/1=2; 3:15/1=3; *9:15/1=9}"},
        {{3, 1}, "{*2:15/1=2}", "{2:15/1=2; *9:15/1=9}"},
        {{1, 2, 3}, "{}", "{*9:15/1=9}"},
        {{7, 8}, "{1:15/1=1; 2:15/1=2; *3:15/1=3}", "{1:15/1=1; 2:15/1=2; 3:15/1=3; *9:15/1=9}"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.left);
        CTkvs h = make_set();
        for (CTsymbol k : {1u, 2u, 3u}) ASSERT_EQ(run(CTkvs_PutInt, h, k, static_cast<int32_t>(k)), ok());
        EXPECT_EQ(run(CTkvs_Remove, h, c.keys.data(), static_cast<int32_t>(c.keys.size())), ok());
        EXPECT_EQ(describe(h), c.left);
        EXPECT_EQ(MRQkvs_GetNumPairs(h), static_cast<int32_t>(std::count(c.left, c.left + std::strlen(c.left), ':')));
        ASSERT_EQ(run(CTkvs_PutInt, h, 9u, 9), ok());
        EXPECT_EQ(describe(h), c.grown);
        // Walking backwards is not offered; check the back links directly.
        const kvs::KVSetHeader *set = kvs::registry_find(h);
        EXPECT_EQ(set->first->previous, nullptr);
        for (const KVPairNode *n = set->first; n != nullptr; n = n->next)
            EXPECT_EQ(n->next == nullptr ? set->last : n->next->previous, n);
        EXPECT_EQ(destroy(h), ok());
    }
}

TEST_F(Remove, ReleasesWhatTheRemovedPairsOwned)
{
    CTkvs h = make_set();
    const CTkvs nested = make_set();
    ASSERT_EQ(run(CTkvs_PutKVS, h, 1u, nested), ok());
    const CTkvs two[] = {nested, nested};
    ASSERT_EQ(run(CTkvs_PutKVSArray, h, 2u, two, 2u), ok());
    const wchar_t *strings[] = {L"a", L"b"};
    ASSERT_EQ(run(CTkvs_PutStringArray, h, 3u, strings, 2u), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 5);
    const CTsymbol first = 1;
    ASSERT_EQ(run(CTkvs_Remove, h, &first, 1), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 4);
    const CTsymbol rest[] = {2, 3};
    ASSERT_EQ(run(CTkvs_Remove, h, rest, 2), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 2);
    EXPECT_EQ(describe(h), "{}");
}

TEST_F(Remove, RefusesBadHandlesAndIgnoresEmptyKeyLists)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
    const CTsymbol one = 1;
    EXPECT_EQ(run(CTkvs_Remove, 0x7FFFFFF1u, &one, 1), fail(CT_errorNoResource));
    EXPECT_EQ(CTkvs_Remove(h, &one, 1, nullptr), CT_statusFail);
    EXPECT_EQ(run(CTkvs_Remove, h, &one, 0), ok());
    EXPECT_EQ(run(CTkvs_Remove, h, &one, -5), ok());
    EXPECT_EQ(run(CTkvs_Remove, h, static_cast<const CTsymbol *>(nullptr), 0), ok());
    EXPECT_EQ(run(CTkvs_Remove, h, static_cast<const CTsymbol *>(nullptr), 1), fail(CT_errorBadParameter));
    EXPECT_EQ(describe(h), "{*1:15/1=1}");
}

TEST_F(Remove, ClearEmptiesTheSetAndKeepsItUsable)
{
    CTkvs h = make_set();
    const CTkvs nested = make_set();
    ASSERT_EQ(run(CTkvs_PutKVS, h, 1u, nested), ok());
    const CTkvs kvsArray[] = {nested, 0};
    ASSERT_EQ(run(CTkvs_PutKVSArray, h, 2u, kvsArray, 2u), ok());
    const wchar_t *strings[] = {L"a", nullptr};
    ASSERT_EQ(run(CTkvs_PutStringArray, h, 3u, strings, 2u), ok());
    ASSERT_EQ(run(PutWide, h, 4u, L"text"), ok());

    EXPECT_EQ(run(CTkvs_Clear, h), ok());
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 0);
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 2);
    EXPECT_EQ(ValidateKVS(h), CT_errorOK);
    CTsymbol cursor = 0;
    EXPECT_EQ(step(h, &cursor), "end");
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
    EXPECT_EQ(describe(h), "{*1:15/1=1}");

    EXPECT_EQ(run(CTkvs_Clear, 0x7FFFFFF1u), fail(CT_errorNoResource));
    EXPECT_EQ(CTkvs_Clear(h, nullptr), CT_statusFail);
    EXPECT_EQ(describe(h), "{*1:15/1=1}");
}

}  // namespace
}  // namespace kvs::test
