#include "alloc_sweep.h"

namespace sweep {

using kvs::test::FailMode;

CTkvs snapshot(CTkvs kvs)
{
    CTkvs copy = 0;
    CTerror e = 0;
    if (CTkvs_Create(&copy, &e) != CT_statusOK) return 0;
    if (CTkvs_Copy(copy, kvs, &e) != CT_statusOK) ADD_FAILURE() << "snapshot copy failed";
    return copy;
}

bool same_content(CTkvs a, CTkvs b)
{
    uint32_t same = 0;
    CTerror e = 0;
    return CTkvs_Match(a, b, &same, &e) == CT_statusOK && same == 1;
}

namespace {

bool allowed(const Row &row, const Outcome &o)
{
    for (const Allowed &a : row.failures)
        if (a.status == o.status && a.error == o.error) return true;
    return false;
}

// One run with injection armed at n (0: count only). Returns the allocations seen.
uint64_t run_once(const Row &row, uint64_t n, FailMode mode, bool expectSuccess)
{
    const uint32_t registered = MRQkvs_GetNumKVS();
    CTkvs target = row.setup();
    CTkvs before = snapshot(target);
    const int32_t pairs = MRQkvs_GetNumPairs(target);
    const uint32_t registeredBefore = MRQkvs_GetNumKVS();

    kvs::test::fail_allocation(n, mode);
    Outcome o = row.operation(target);
    uint64_t seen = kvs::test::disarm_allocation_failures();

    const std::string where = row.name + " with allocation " + std::to_string(n) +
                              (mode == FailMode::Once ? " failing once" : " failing from then on");
    if (expectSuccess || o.status == CT_statusOK) {
        // An injected failure may have been absorbed (for example an index
        // that is only an optimisation); then the result must be complete.
        EXPECT_EQ(o.status, CT_statusOK) << where;
    } else {
        EXPECT_TRUE(allowed(row, o)) << where << ": status " << o.status << ", error 0x" << std::hex << o.error;
        if (!row.partialAllowed) {
            EXPECT_TRUE(same_content(target, before)) << where << ": the target changed";
            EXPECT_EQ(MRQkvs_GetNumPairs(target), pairs) << where;
            EXPECT_EQ(MRQkvs_GetNumKVS(), registeredBefore) << where << ": sets left registered";
        }
    }
    CTerror e = 0;
    CTkvs_Destroy(before, &e);
    row.teardown(target);
    EXPECT_EQ(MRQkvs_GetNumKVS(), registered) << where << ": teardown left sets registered";
    return seen;
}

}  // namespace

void run(const Row &row)
{
    const uint64_t count = run_once(row, 0, FailMode::Once, true);
    if (count == 0) return;  // nothing to fail (a single value replaced inside its node): it succeeded
    for (FailMode mode : {FailMode::Once, FailMode::FromThenOn})
        for (uint64_t n = 1; n <= count; ++n) run_once(row, n, mode, false);
    run_once(row, count + 1, FailMode::FromThenOn, true);
}

}  // namespace sweep
