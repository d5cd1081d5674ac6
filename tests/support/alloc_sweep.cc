#include "support/alloc_sweep.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "serial/block_io.h"
#include "support/describe.h"
#include "support/fixture.h"

namespace sweep {

using kvs::test::FailMode;

std::string encoding(CTkvs kvs)
{
    if (ValidateKVS(kvs) != CT_errorOK) return "<invalid>";
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    CTerror e = 0;
    if (MRQkvs_WriteToMemory(&buffer, kvs, &length, &e) == CT_statusOK) {
        std::string out(reinterpret_cast<const char *>(buffer), length);
        MRQkvs_FreeBuffer(buffer);
        return out;
    }
    char *bytes = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&bytes, &size);
    if (out == nullptr) return "<no stream>";
    const bool written = WriteKVSBlock(out, kvs, &e) == CT_statusOK;
    std::fclose(out);
    std::string block = written ? "F" + std::string(bytes, size) : "<unwritable>";
    std::free(bytes);
    return block;
}

Pairs pairs_of(CTkvs kvs)
{
    Pairs out;
    const kvs::KVSetHeader *set = kvs::registry_find(kvs);
    if (set == nullptr) return out;
    for (const KVPairNode *n = set->first; n != nullptr; n = n->next) {
        std::string value = std::to_string(n->type) + "/" + std::to_string(n->count) + "=";
        for (char c : kvs::test::describe_value(n))
            if (c != '*') value += c;  // the current-pair marks of nested sets are no content
        out.emplace_back(n->key, value);
    }
    return out;
}

bool partial_merge(const Pairs &before, const Pairs &complete, const Pairs &after, std::string *why)
{
    std::map<CTsymbol, std::string> held, merged;
    for (const auto &p : before) held[p.first] = p.second;
    for (const auto &p : complete) merged[p.first] = p.second;
    Pairs added;  // what the complete result appended, in order
    for (const auto &p : complete)
        if (held.count(p.first) == 0) added.push_back(p);
    if (after.size() < before.size() || after.size() > before.size() + added.size()) {
        *why = "holds " + std::to_string(after.size()) + " pairs, not between " + std::to_string(before.size()) +
               " and " + std::to_string(before.size() + added.size());
        return false;
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto &p = after[i];
        const bool kept = i < before.size();
        const CTsymbol expectedKey = kept ? before[i].first : added[i - before.size()].first;
        if (p.first != expectedKey) {
            *why = "pair " + std::to_string(i) + " has key " + kvs::test::hex(p.first) + ", expected " +
                   kvs::test::hex(expectedKey);
            return false;
        }
        const bool asBefore = kept && p.second == held[p.first];
        const bool asComplete = merged.count(p.first) != 0 && p.second == merged[p.first];
        if (!asBefore && !asComplete) {
            *why = "pair " + kvs::test::hex(p.first) + " holds " + p.second + ", neither the old nor the new value";
            return false;
        }
    }
    return true;
}

namespace {

bool allowed(const Row &row, const Outcome &o)
{
    for (const Allowed &a : row.failures)
        if (a.status == o.status && a.error == o.error) return true;
    return false;
}

// What the dry run left: the complete result that later successes must match.
struct Reference {
    std::string encoding;
    Pairs pairs;
    std::string product;
    std::size_t added = 0;  // pairs the operation added to the target
};

// One run with injection armed at n (0: the dry run, which fills *reference).
// Returns the allocations seen.
// `count` is the dry run's count of allocations (0 in the dry run itself).
std::uint64_t run_once(const Row &row, std::uint64_t n, std::uint64_t count, FailMode mode, Reference *reference,
                       bool mustSucceed)
{
    const bool dry = n == 0;
    const std::string where = row.name + (dry ? " (dry run)" : " with allocation " + std::to_string(n)) +
                              (mode == FailMode::Once ? " failing once" : " failing from then on");
    const std::uint32_t registered = MRQkvs_GetNumKVS();
    kvs::test::count_live_blocks(true);

    CTkvs target = row.setup();
    const std::string encodingBefore = encoding(target);
    const Pairs pairsBefore = pairs_of(target);
    const std::uint32_t registeredBefore = MRQkvs_GetNumKVS();

    kvs::test::fail_allocation(n, mode);
    Outcome o = row.operation(target);
    const std::uint64_t seen = kvs::test::disarm_allocation_failures();
    if (row.after) row.after(target, o);
    if (row.settle) row.settle(target);
    const std::string encodingAfter = encoding(target);

    if (dry) {
        EXPECT_EQ(o.status, CT_statusOK) << where << ": error 0x" << std::hex << o.error;
        reference->encoding = encodingAfter;
        reference->pairs = pairs_of(target);
        reference->product = o.product;
        reference->added = reference->pairs.size() - std::min(reference->pairs.size(), pairsBefore.size());
    } else if (o.status == CT_statusOK || mustSucceed) {
        // Success, perhaps with an absorbed failure: the result is complete.
        EXPECT_EQ(o.status, CT_statusOK) << where << ": error 0x" << std::hex << o.error;
        EXPECT_EQ(encodingAfter, reference->encoding) << where << ": the result is not complete";
        const std::string expected = row.expectedProduct ? row.expectedProduct(target) : reference->product;
        EXPECT_EQ(o.product, expected) << where << ": the product is not complete";
    } else {
        EXPECT_TRUE(allowed(row, o)) << where << ": status " << o.status << ", error 0x" << std::hex << o.error;
        if (row.answerAt && mode == FailMode::Once) {
            const Allowed expected = row.answerAt(n, count);
            EXPECT_TRUE(o.status == expected.status && o.error == expected.error)
                << where << " of " << count << ": status " << o.status << ", error 0x" << std::hex << o.error
                << ", expected status " << std::dec << expected.status << ", error 0x" << std::hex << expected.error;
        }
        if (!row.partialAllowed) {
            EXPECT_EQ(encodingAfter, encodingBefore) << where << ": the target changed";
            EXPECT_EQ(MRQkvs_GetNumKVS(), registeredBefore) << where << ": sets left registered";
        } else {
            std::string why;
            EXPECT_TRUE(partial_merge(pairsBefore, reference->pairs, pairs_of(target), &why)) << where << ": " << why;
        }
    }
    row.teardown(target);
    EXPECT_EQ(MRQkvs_GetNumKVS(), registered) << where << ": teardown left sets registered";
    EXPECT_EQ(kvs::test::live_blocks(), 0) << where << ": heap blocks leaked";
    kvs::test::count_live_blocks(false);
    return seen;
}

}  // namespace

void run(const Row &row)
{
    Reference reference;
    const std::uint64_t count = run_once(row, 0, 0, FailMode::Once, &reference, true);
    ::testing::Test::RecordProperty("allocations", static_cast<int>(count));
    if (!row.allocates) {
        EXPECT_EQ(count, 0u) << row.name << " takes heap memory";
        return;
    }
    ASSERT_GT(count, 0u) << row.name << " allocates nothing: the row tests nothing";
    if (row.nodePerPair) {
        EXPECT_GE(count, reference.added) << row.name << ": fewer allocations than pairs added";
    }
    for (FailMode mode : {FailMode::Once, FailMode::FromThenOn})
        for (std::uint64_t n = 1; n <= count; ++n) run_once(row, n, count, mode, &reference, false);
    EXPECT_EQ(run_once(row, count + 1, count, FailMode::FromThenOn, &reference, true), count) << row.name;
}

}  // namespace sweep
