// Every allocation a store operation makes is failed in turn: each failure
// answers with the documented status, leaves the set as it was, and keeps no
// nested copy registered. AddressSanitizer's leak check covers the released
// blocks.
#include <functional>
#include <string>
#include <vector>

#include "support/describe.h"
#include "support/every_type.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

using OutOfMemory = KvsTest;

constexpr CTsymbol K = 0x00A1u;

// Runs op with its nth allocation failing, for n = 1, 2, ... until it makes
// no more allocations than n - 1 and succeeds. After each failed attempt
// `after` checks what it left. Returns the outcome of each failed attempt.
// An allocation that only an optimisation needed (the key index of a large
// set) may fail without failing the operation: `absorbed`, when given, then
// checks that the result is complete and resets it.
std::vector<Outcome> sweep(const std::function<Outcome()> &op, const std::function<void()> &after,
                           const std::function<bool()> &absorbed = nullptr)
{
    std::vector<Outcome> failures;
    for (std::uint64_t n = 1; n < 1000; ++n) {
        kvs::test::fail_allocation(n, kvs::test::FailMode::Once);
        Outcome o = op();
        const std::uint64_t seen = kvs::test::disarm_allocation_failures();
        if (seen < n) {
            EXPECT_EQ(o, ok()) << "with no allocation failing";
            return failures;
        }
        if (o == ok() && absorbed) {
            EXPECT_TRUE(absorbed()) << "allocation " << n << " failed, success reported, result incomplete";
            continue;
        }
        EXPECT_NE(o, ok()) << "allocation " << n << " failed but the operation reported success";
        failures.push_back(o);
        SCOPED_TRACE("allocation " + std::to_string(n) + " failed");
        after();
        if (::testing::Test::HasFatalFailure()) break;
    }
    ADD_FAILURE() << "the operation never succeeded";
    return failures;
}

struct PutCase {
    const char *name;
    std::function<Outcome(CTkvs h, CTkvs other)> put;  // other: a set with pairs, for nested puts
    bool nested;  // a nested put: failures while copying answer 3
    // Allocations of a nested put that answer 1: before the copies (the
    // array block) and after them (the value block); a new key's node comes
    // last and answers 1 too.
    std::size_t blocksBefore = 0, blocksAfter = 0;
    // A single value lives in its pair node: replacing one allocates nothing.
    bool inNode = false;
};

const PutCase kPuts[] = {
    {"int", [](CTkvs h, CTkvs) { return run(CTkvs_PutInt, h, K, 5); }, false, 0, 0, true},
    {"range", [](CTkvs h, CTkvs) { return run(CTkvs_PutIrange, h, K, 1, 2); }, false, 0, 0, true},
    {"wide string", [](CTkvs h, CTkvs) { return run(PutWide, h, K, L"\u00e9t\u00e9"); }, false},
    {"narrow string", [](CTkvs h, CTkvs) { return run(MRQkvs_PutNarrowString, h, K, "abc"); }, false},
    {"int array",
     [](CTkvs h, CTkvs) {
         const int32_t v[] = {1, 2, 3};
         return run(CTkvs_PutIntArray, h, K, v, 3u);
     },
     false},
    {"empty int array", [](CTkvs h, CTkvs) { return run(CTkvs_PutIntArray, h, K, static_cast<const int32_t *>(nullptr), 0u); }, false},
    {"string array",
     [](CTkvs h, CTkvs) {
         const wchar_t *v[] = {L"a", nullptr, L"bc"};
         return run(CTkvs_PutStringArray, h, K, v, 3u);
     },
     false},
    {"nested set", [](CTkvs h, CTkvs other) { return run(CTkvs_PutKVS, h, K, other); }, true, 0, 1},
    {"KV-Set array",
     [](CTkvs h, CTkvs other) {
         const CTkvs v[] = {other, 0, other};
         return run(CTkvs_PutKVSArray, h, K, v, 3u);
     },
     true, 1, 0},
};

// A put of a new key and a put replacing an existing one, each with every
// allocation failing in turn.
TEST_F(OutOfMemory, PutsLeaveTheSetUnchangedAndReleaseThePartlyBuiltValue)
{
    CTkvs other = make_set();
    ASSERT_EQ(run(PutWide, other, 1u, L"inner"), ok());
    const wchar_t *strings[] = {L"x", L"y"};
    ASSERT_EQ(run(CTkvs_PutStringArray, other, 2u, strings, 2u), ok());
    CTkvs deeper = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, deeper, 1u, 1), ok());
    ASSERT_EQ(run(CTkvs_PutKVS, other, 3u, deeper), ok());

    for (bool replace : {false, true}) {
        for (const PutCase &c : kPuts) {
            SCOPED_TRACE(std::string(c.name) + (replace ? ", replacing" : ", new key"));
            CTkvs h = make_set();
            ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
            if (replace) {
                ASSERT_EQ(run(CTkvs_PutKVS, h, K, deeper), ok());
                ASSERT_EQ(run(CTkvs_PutInt, h, 2u, 2), ok());
            }
            const std::string before = describe(h);
            const std::uint32_t sets = MRQkvs_GetNumKVS();
            std::vector<Outcome> failures = sweep([&] { return c.put(h, other); },
                                                  [&] {
                                                      EXPECT_EQ(describe(h), before);
                                                      EXPECT_EQ(MRQkvs_GetNumKVS(), sets);
                                                  });
            if (replace && c.inNode) {
                EXPECT_TRUE(failures.empty()) << "replacing a single value cannot fail";
                EXPECT_EQ(destroy(h), ok());
                continue;
            }
            ASSERT_FALSE(failures.empty());
            const std::size_t trailing = c.blocksAfter + (replace ? 0 : 1);
            for (std::size_t i = 0; i < failures.size(); ++i) {
                const bool copying = c.nested && i >= c.blocksBefore && i + trailing < failures.size();
                EXPECT_EQ(failures[i], copying ? fail(CT_errorNoResource) : warning(CT_errorNoResource))
                    << "allocation " << i + 1 << " of " << failures.size();
            }
            EXPECT_EQ(destroy(h), ok());
        }
    }
}

TEST_F(OutOfMemory, CopyStopsAtTheFirstFailedPutAndKeepsThePairsBeforeIt)
{
    CTkvs nested = make_set();
    ASSERT_EQ(run(PutWide, nested, 1u, L"n"), ok());
    CTkvs source = make_set();
    EXPECT_TRUE(put_every_type(source, nested, nested, true)) << "every put succeeds";
    const int32_t pairs = MRQkvs_GetNumPairs(source);
    CTkvs target = make_set();
    const std::uint32_t sets = MRQkvs_GetNumKVS();

    std::vector<Outcome> failures = sweep([&] { return run(CTkvs_Copy, target, source); },
                                          [&] {
                                              // The target holds the source's first pairs, and no more.
                                              const int32_t got = MRQkvs_GetNumPairs(target);
                                              EXPECT_LT(got, pairs);
                                              uint32_t type = 0;
                                              for (int32_t i = 0; i < pairs; ++i)
                                                  EXPECT_EQ(run(CTkvs_GetType, target, 0x100u + i, &type).status,
                                                            i < got ? CT_statusOK : CT_statusWarning);
                                              EXPECT_EQ(run(CTkvs_Clear, target), ok());
                                              EXPECT_EQ(MRQkvs_GetNumKVS(), sets);
                                          },
                                          [&] {
                                              const bool complete = describe(target) == describe(source);
                                              run(CTkvs_Clear, target);
                                              return complete;
                                          });
    EXPECT_GE(failures.size(), static_cast<std::size_t>(pairs));  // at least a node per pair
    for (const Outcome &o : failures)
        EXPECT_TRUE(o == warning(CT_errorNoResource) || o == fail(CT_errorNoResource));
    EXPECT_EQ(describe(target), describe(source));
}

}  // namespace
}  // namespace kvs::test
