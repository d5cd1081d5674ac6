// Copy (a merge of one set into another), match (equality of two sets) and
// the time stamps.
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kvset/inspect.h"
#include "support/blocks.h"
#include "support/describe.h"
#include "support/every_type.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

using Copy = KvsTest;
using Match = KvsTest;
using TimeStamp = KvsTest;

constexpr CTsymbol K = 0x00A1u;

TEST_F(Copy, MergesIntoTheTargetReplacingInPlaceAndAppendingInSourceOrder)
{
    CTkvs target = make_set(), source = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, target, 1u, 1), ok());
    ASSERT_EQ(run(CTkvs_PutInt, target, 2u, 2), ok());
    ASSERT_EQ(run(CTkvs_PutInt, source, 4u, 4), ok());
    ASSERT_EQ(run(PutWide, source, 2u, L"two"), ok());
    ASSERT_EQ(run(CTkvs_PutInt, source, 3u, 3), ok());
    uint32_t type = 0;
    ASSERT_EQ(run(CTkvs_GetType, source, 2u, &type), ok());  // the source's cursor on its middle pair

    EXPECT_EQ(run(CTkvs_Copy, target, source), ok());
    EXPECT_EQ(describe(target), "{1:15/1=1; 2:62/1=\"two\"; 4:15/1=4; *3:15/1=3}");
    EXPECT_EQ(describe(source), "{4:15/1=4; *2:62/1=\"two\"; 3:15/1=3}");
}

TEST_F(Copy, CopiesEveryTypeWholeAndOwnsItsNestedCopies)
{
    CTkvs nested = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, nested, 1u, 0x100), ok());
    CTkvs source = make_set(), target = make_set();
    EXPECT_TRUE(put_every_type(source, nested, nested, true)) << "every put succeeds";
    const std::uint32_t before = MRQkvs_GetNumKVS();

    ASSERT_EQ(run(CTkvs_Copy, target, source), ok());
    EXPECT_EQ(describe(target), describe(source));
    EXPECT_EQ(MRQkvs_GetNumKVS(), before + kNestedInEveryType);
    uint32_t same = 0;
    EXPECT_EQ(run(CTkvs_Match, target, source, &same), ok());
    EXPECT_EQ(same, 1u);

    // The nested copies are the target's own.
    CTkvs fromSource = 0, fromTarget = 0;
    ASSERT_EQ(run(CTkvs_GetKVS, source, kEveryTypeNestedKey, &fromSource), ok());
    ASSERT_EQ(run(CTkvs_GetKVS, target, kEveryTypeNestedKey, &fromTarget), ok());
    EXPECT_NE(fromSource, fromTarget);
    EXPECT_EQ(destroy(source), ok());
    EXPECT_EQ(describe(fromTarget), "{*1:15/1=256}");
}

TEST_F(Copy, IntoItselfKeepsTheContentWithFreshNestedCopies)
{
    CTkvs nested = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, nested, 1u, 1), ok());
    CTkvs h = make_set();
    EXPECT_TRUE(put_every_type(h, nested, nested, true)) << "every put succeeds";
    const std::string before = describe(h);
    const std::uint32_t sets = MRQkvs_GetNumKVS();
    CTkvs held = 0;
    ASSERT_EQ(run(CTkvs_GetKVS, h, kEveryTypeNestedKey, &held), ok());

    EXPECT_EQ(run(CTkvs_Copy, h, h), ok());
    EXPECT_EQ(describe(h), before);
    EXPECT_EQ(MRQkvs_GetNumKVS(), sets);
    EXPECT_FALSE(registered(held)) << "the old nested copy was replaced";
}

// A set lent by a get may be copied into the set that holds it, even when a
// put of the copy replaces the very pair that holds it.
// The outer set, read back into a fresh set by one of the readers; the
// reader's nested sets are the pairs' own just as a put's copies are.
using Remake = std::function<CTkvs(CTkvs outer)>;

CTkvs read_back(CTkvs outer, kvs::test::Bytes (*encode)(CTkvs), kvs::test::Result (*decode)(CTkvs, const kvs::test::Bytes &))
{
    CTkvs fresh = 0;
    CTerror e = 0;
    CTkvs_Create(&fresh, &e);
    EXPECT_EQ(decode(fresh, encode(outer)).error, CT_errorOK);
    return fresh;
}

TEST_F(Copy, FromASetNestedInTheTarget)
{
    struct Case {
        const char *name;
        std::function<void(CTkvs outer, CTkvs inner)> store;  // stores inner under K
        std::function<CTkvs(CTkvs outer)> lend;               // the handle of the stored copy
    };
    const Case cases[] = {
        {"nested pair",
         [](CTkvs outer, CTkvs inner) {
             CTerror e = 0;
             CTkvs_PutKVS(outer, K, inner, &e);
         },
         [](CTkvs outer) {
             CTerror e = 0;
             CTkvs lent = 0;
             CTkvs_GetKVS(outer, K, &lent, &e);
             return lent;
         }},
        {"KV-Set array element",
         [](CTkvs outer, CTkvs inner) {
             CTerror e = 0;
             const CTkvs two[] = {inner, inner};
             CTkvs_PutKVSArray(outer, K, two, 2, &e);
         },
         [](CTkvs outer) {
             CTerror e = 0;
             CTkvs *lent = nullptr;
             int32_t count = 0;
             CTkvs_GetKVSArray(outer, K, &lent, &count, &e);
             return lent == nullptr ? CTkvs{0} : lent[1];
         }},
        {"set nested two deep",
         [](CTkvs outer, CTkvs inner) {
             CTerror e = 0;
             CTkvs middle = 0;
             CTkvs_Create(&middle, &e);
             CTkvs_PutKVS(middle, 7u, inner, &e);
             CTkvs_PutKVS(outer, K, middle, &e);
             CTkvs_Destroy(middle, &e);
         },
         [](CTkvs outer) {
             CTerror e = 0;
             CTkvs between = 0, lent = 0;
             CTkvs_GetKVS(outer, K, &between, &e);
             CTkvs_GetKVS(between, 7u, &lent, &e);
             return lent;
         }},
    };
    const std::pair<const char *, Remake> remakes[] = {
        {"built by puts", [](CTkvs outer) { return outer; }},
        {"memory reader", [](CTkvs outer) { return read_back(outer, kvs::test::memory_block, kvs::test::read_memory); }},
        {"file reader", [](CTkvs outer) { return read_back(outer, kvs::test::file_block, kvs::test::read_file); }},
        {"JSON bridge",
         [](CTkvs outer) {
             std::string json, error;
             CTkvs fresh = 0;
             EXPECT_TRUE(kvset::toJson(outer, &json, &error)) << error;
             EXPECT_TRUE(kvset::fromJson(json, &fresh, &error)) << error;
             return fresh;
         }},
    };
    for (const auto &[how, remake] : remakes) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(how) + ", " + c.name);
            CTkvs built = make_set(), inner = make_set();
            ASSERT_EQ(run(CTkvs_PutInt, inner, K, 5), ok());
            ASSERT_EQ(run(CTkvs_PutInt, inner, 2u, 6), ok());
            c.store(built, inner);
            ASSERT_EQ(run(CTkvs_PutInt, built, 1u, 1), ok());
            CTkvs outer = remake(built);
            CTkvs lent = c.lend(outer);
            ASSERT_TRUE(registered(lent));
            const std::string before = describe(outer);
            const std::uint32_t sets = MRQkvs_GetNumKVS();

            // Without memory for the snapshot nothing is copied.
            kvs::test::fail_allocation(1, kvs::test::FailMode::Once);
            EXPECT_EQ(run(CTkvs_Copy, outer, lent), warning(CT_errorNoResource));
            kvs::test::disarm_allocation_failures();
            EXPECT_EQ(describe(outer), before);
            EXPECT_EQ(MRQkvs_GetNumKVS(), sets);

            EXPECT_EQ(run(CTkvs_Copy, outer, lent), ok());
            EXPECT_EQ(describe(outer), "{A1:15/1=5; 1:15/1=1; *2:15/1=6}");
            if (outer != built) {
                EXPECT_EQ(destroy(outer), ok());
            }
            EXPECT_EQ(destroy(built), ok());
            EXPECT_EQ(destroy(inner), ok());
        }
    }
}

TEST_F(Copy, RefusesBadHandlesAndStopsAtAPairOfUnknownType)
{
    CTkvs target = make_set(), source = make_set();
    const CTkvs dead = 0x7FFFFFF1u;
    EXPECT_EQ(run(CTkvs_Copy, target, dead), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_Copy, dead, source), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(CTkvs_Copy(target, source, nullptr), CT_statusFail);
    EXPECT_EQ(run(CTkvs_Copy, target, source), ok()) << "an empty source";

    for (CTsymbol k : {1u, 2u, 3u}) ASSERT_EQ(run(CTkvs_PutInt, source, k, static_cast<int32_t>(k)), ok());
    KVPairNode *middle = kvs::registry_find(source)->first->next;
    middle->type = 99;  // no such type
    EXPECT_EQ(run(CTkvs_Copy, target, source), warning(CT_errorInvalidKVSet));
    EXPECT_EQ(describe(target), "{*1:15/1=1}");
    middle->type = KV_TYPE_INT;
}

// ---- Match ----------------------------------------------------------------

TEST_F(Match, ComparesKeysTypesCountsAndWholeValuesInOrder)
{
    using Fill = std::function<void(CTkvs)>;
    auto ints = [](std::vector<std::pair<CTsymbol, int32_t>> pairs) {
        return Fill([pairs](CTkvs h) {
            CTerror e = 0;
            for (auto &p : pairs) CTkvs_PutInt(h, p.first, p.second, &e);
        });
    };
    auto text = [](const wchar_t *s) {
        return Fill([s](CTkvs h) {
            CTerror e = 0;
            CTkvs_PutString(h, K, s, &e);
        });
    };
    auto array = [](std::vector<int32_t> v) {
        return Fill([v](CTkvs h) {
            CTerror e = 0;
            CTkvs_PutIntArray(h, K, v.data(), static_cast<uint32_t>(v.size()), &e);
        });
    };
    auto strings = [](std::vector<const wchar_t *> v) {
        return Fill([v](CTkvs h) {
            CTerror e = 0;
            CTkvs_PutStringArray(h, K, v.data(), static_cast<uint32_t>(v.size()), &e);
        });
    };
    auto nested = [](Fill inner) {
        return Fill([inner](CTkvs h) {
            CTerror e = 0;
            CTkvs n = 0;
            CTkvs_Create(&n, &e);
            inner(n);
            CTkvs_PutKVS(h, K, n, &e);
            const CTkvs slots[] = {n, 0};
            CTkvs_PutKVSArray(h, K + 1, slots, 2, &e);
            CTkvs_Destroy(n, &e);
        });
    };
    auto scalar = [](CTstatus (*put)(CTkvs, CTsymbol, uint32_t, CTerror *), uint32_t v) {
        return Fill([put, v](CTkvs h) {
            CTerror e = 0;
            put(h, K, v, &e);
        });
    };
    auto range = [](int32_t lower, int32_t upper) {
        return Fill([lower, upper](CTkvs h) {
            CTerror e = 0;
            CTkvs_PutIrange(h, K, lower, upper, &e);
        });
    };
    auto chr = [](uint16_t c) {
        return Fill([c](CTkvs h) {
            CTerror e = 0;
            CTkvs_PutChar(h, K, c, &e);
        });
    };
    const wchar_t *absent = nullptr;
    struct Case {
        const char *name;
        Fill a, b;
        uint32_t equal;
    };
    const Case cases[] = {
        {"both empty", ints({}), ints({}), 1},
        {"same pairs", ints({{1, 1}, {2, 2}}), ints({{1, 1}, {2, 2}}), 1},
        {"same pairs in another order", ints({{1, 1}, {2, 2}}), ints({{2, 2}, {1, 1}}), 0},
        {"one pair more", ints({{1, 1}}), ints({{1, 1}, {2, 2}}), 0},
        {"other key", ints({{1, 1}}), ints({{2, 1}}), 0},
        {"ints differing above the low byte", ints({{K, 0x100}}), ints({{K, 0x200}}), 0},
        {"same bits, other type", ints({{K, 5}}), scalar(CTkvs_PutUint, 5), 0},
        {"error and symbol are one type", scalar(CTkvs_PutError, 9), scalar(CTkvs_PutSymbol, 9), 1},
        {"chars differing above the low byte", chr(0x141), chr(0x241), 0},
        {"ranges differing in the upper bound", range(1, 2), range(1, 3), 0},
        {"strings differing after the first character", text(L"ab"), text(L"ac"), 0},
        {"equal strings", text(L"\u00e9t\u00e9"), text(L"\u00e9t\u00e9"), 1},
        {"absent and empty string", text(absent), text(L""), 0},
        {"two absent strings", text(absent), text(absent), 1},
        {"arrays differing in the last element", array({1, 2, 3}), array({1, 2, 4}), 0},
        {"arrays of other lengths", array({1, 2}), array({1, 2, 3}), 0},
        {"empty arrays", array({}), array({}), 1},
        {"string arrays differing after an absent element", strings({L"a", nullptr, L"b"}),
         strings({L"a", nullptr, L"c"}), 0},
        {"equal string arrays", strings({L"a", nullptr}), strings({L"a", nullptr}), 1},
        {"equal nested sets", nested(ints({{1, 1}})), nested(ints({{1, 1}})), 1},
        {"nested sets differing inside", nested(ints({{1, 1}})), nested(ints({{1, 0x101}})), 0},
        {"nested sets differing two deep", nested(nested(text(L"x"))), nested(nested(text(L"y"))), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CTkvs a = make_set(), b = make_set();
        c.a(a);
        c.b(b);
        const std::string da = describe(a), db = describe(b);
        uint32_t result = 7;
        EXPECT_EQ(run(CTkvs_Match, a, b, &result), ok());
        EXPECT_EQ(result, c.equal);
        EXPECT_EQ(run(CTkvs_Match, b, a, &result), ok());
        EXPECT_EQ(result, c.equal);
        EXPECT_EQ(run(CTkvs_Match, a, a, &result), ok());
        EXPECT_EQ(result, 1u);
        EXPECT_EQ(describe(a), da) << "match moves no cursor";
        EXPECT_EQ(describe(b), db);
        destroy(a);
        destroy(b);
    }
}

TEST_F(Match, RefusesUnregisteredHandles)
{
    CTkvs h = make_set();
    uint32_t result = 7;
    EXPECT_EQ(run(CTkvs_Match, h, 0x7FFFFFF1u, &result), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_Match, 0x7FFFFFF1u, h, &result), fail(CT_errorNoResource));
    EXPECT_EQ(result, 7u);
    EXPECT_EQ(run(CTkvs_Match, h, h, static_cast<uint32_t *>(nullptr)), fail(CT_errorBadParameter));
}

// ---- Time stamps ----------------------------------------------------------

TEST_F(TimeStamp, StampsSecondsAndMillisecondsAsIntPairs)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(PutWide, h, MRQ_keyTimeStampSec, L"not yet"), ok());
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(MRQkvs_TimeStamp(h), 0u);
    const std::time_t after = std::time(nullptr);

    int32_t seconds = 0, milliseconds = -1;
    ASSERT_EQ(run(CTkvs_GetInt, h, MRQ_keyTimeStampSec, &seconds), ok());
    ASSERT_EQ(run(CTkvs_GetInt, h, MRQ_keyTimeStampMsec, &milliseconds), ok());
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    EXPECT_GE(milliseconds, 0);
    EXPECT_LE(milliseconds, 999);
    CTsymbol cursor = CT_keyFirst, key = 0;
    uint32_t type = 0;
    int32_t count = 0;
    ASSERT_EQ(run(CTkvs_GetNext, h, &cursor, &key, &type, &count), ok());
    EXPECT_EQ(key, MRQ_keyTimeStampSec) << "the stamp replaced the string in place";
    EXPECT_EQ(type, 15u);

    double elapsed = -1;
    EXPECT_EQ(MRQkvs_TimeDelta(h, &elapsed), 0u);
    EXPECT_GE(elapsed, 0.0);
    EXPECT_LT(elapsed, 2.0);
    EXPECT_EQ(MRQkvs_TimeStamp(0x7FFFFFF1u), 0u);
}

TEST_F(TimeStamp, DeltaNeedsTheSecondsAndTakesMissingMillisecondsAsZero)
{
    CTkvs h = make_set();
    double elapsed = -1;
    EXPECT_EQ(MRQkvs_TimeDelta(h, &elapsed), 3u);
    EXPECT_EQ(MRQkvs_TimeDelta(0x7FFFFFF1u, &elapsed), 3u);
    EXPECT_EQ(elapsed, -1);

    ASSERT_EQ(run(CTkvs_PutInt, h, MRQ_keyTimeStampSec, static_cast<int32_t>(std::time(nullptr) - 10)), ok());
    EXPECT_EQ(MRQkvs_TimeDelta(h, &elapsed), 0u);
    EXPECT_GE(elapsed, 10.0);
    EXPECT_LT(elapsed, 12.0);

    ASSERT_EQ(run(CTkvs_PutInt, h, MRQ_keyTimeStampMsec, 999), ok());
    EXPECT_EQ(MRQkvs_TimeDelta(h, &elapsed), 0u);
    EXPECT_GE(elapsed, 9.0);
    EXPECT_LT(elapsed, 11.0);

    // The seconds stored under another type are no stamp.
    ASSERT_EQ(run(CTkvs_PutUint, h, MRQ_keyTimeStampSec, 5u), ok());
    EXPECT_EQ(MRQkvs_TimeDelta(h, &elapsed), 3u);
}

}  // namespace
}  // namespace kvs::test
