// Sets large enough to be indexed behave exactly like small ones: a random
// sequence of puts, replacements, removals and clears is checked against a
// plain model of the pair list (order, values, count, cursor after puts).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/key_index.h"
#include "store/registry.h"
#include "support/blocks.h"

namespace {

using Model = std::vector<std::pair<CTsymbol, int32_t>>;

void expect_same(CTkvs kvs, const Model &model)
{
    ASSERT_EQ(MRQkvs_GetNumPairs(kvs), static_cast<int32_t>(model.size()));
    CTerror e = 0;
    CTsymbol cursor = CT_keyFirst, key = 0;
    uint32_t type = 0;
    int32_t count = 0;
    for (const auto &pair : model) {
        ASSERT_EQ(CTkvs_GetNext(kvs, &cursor, &key, &type, &count, &e), CT_statusOK);
        ASSERT_EQ(key, pair.first);
        int32_t value = 0;
        ASSERT_EQ(CTkvs_GetInt(kvs, pair.first, &value, &e), CT_statusOK);
        ASSERT_EQ(value, pair.second);
        cursor = 0;
    }
    EXPECT_EQ(CTkvs_GetNext(kvs, &cursor, &key, &type, &count, &e), CT_statusWarning);
}

TEST(KeyIndex, RandomOperationsKeepOrderAndValues)
{
    const uint32_t before = MRQkvs_GetNumKVS();
    CTkvs kvs = 0;
    CTerror e = 0;
    ASSERT_EQ(CTkvs_Create(&kvs, &e), CT_statusOK);
    std::mt19937 rng(12345);
    Model model;
    size_t largest = 0;
    // Keys from a small range so that replacements and removals hit often,
    // and sets repeatedly cross the index threshold in both directions.
    std::uniform_int_distribution<uint32_t> keyOf(0, 3000);
    for (int step = 0; step < 40000; ++step) {
        uint32_t op = rng() % 10000;
        CTsymbol key = keyOf(rng) * 0x10000u + 0x6Du;  // symbol-like keys
        auto it = std::find_if(model.begin(), model.end(), [&](const auto &p) { return p.first == key; });
        if (op < 7000) {
            int32_t value = static_cast<int32_t>(rng());
            ASSERT_EQ(CTkvs_PutInt(kvs, key, value, &e), CT_statusOK);
            if (it != model.end())
                it->second = value;
            else
                model.emplace_back(key, value);
            // The cursor is on the pair just stored.
            uint32_t type = 0;
            CTsymbol next = 0;
            if (it == model.end()) {
                EXPECT_EQ(CTkvs_GetNextKey(kvs, &next, &type, &e), CT_statusWarning);
            }
        } else if (op < 9500) {
            ASSERT_EQ(CTkvs_Remove(kvs, &key, 1, &e), CT_statusOK);
            if (it != model.end()) model.erase(it);
        } else if (op == 9500) {  // rare: the set must grow large between clears
            ASSERT_EQ(CTkvs_Clear(kvs, &e), CT_statusOK);
            model.clear();
        } else {
            int32_t value = 0;
            CTstatus st = CTkvs_GetInt(kvs, key, &value, &e);
            if (it == model.end()) {
                EXPECT_EQ(st, CT_statusWarning);
                EXPECT_EQ(e, CT_errorNoSuchKey);
            } else {
                EXPECT_EQ(value, it->second);
            }
        }
        largest = std::max(largest, model.size());
        if (step % 997 == 0) expect_same(kvs, model);
    }
    expect_same(kvs, model);
    EXPECT_GT(largest, 1000u);  // far past the index threshold
    ASSERT_EQ(CTkvs_Destroy(kvs, &e), CT_statusOK);
    EXPECT_EQ(MRQkvs_GetNumKVS(), before);
}

TEST(KeyIndex, CopyAndMatchOfLargeSetsKeepOrder)
{
    const uint32_t before = MRQkvs_GetNumKVS();
    CTkvs a = 0, b = 0;
    CTerror e = 0;
    ASSERT_EQ(CTkvs_Create(&a, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_Create(&b, &e), CT_statusOK);
    for (int32_t i = 0; i < 500; ++i) ASSERT_EQ(CTkvs_PutInt(a, 1000u - i, i, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_PutInt(b, 990, -1, &e), CT_statusOK);  // replaced in place by the copy
    ASSERT_EQ(CTkvs_Copy(b, a, &e), CT_statusOK);
    CTsymbol cursor = CT_keyFirst, key = 0;
    uint32_t type = 0, same = 9;
    int32_t count = 0;
    ASSERT_EQ(CTkvs_GetNext(b, &cursor, &key, &type, &count, &e), CT_statusOK);
    EXPECT_EQ(key, 990u);
    ASSERT_EQ(CTkvs_Match(a, b, &same, &e), CT_statusOK);
    EXPECT_EQ(same, 0u);
    const CTsymbol first = 990;
    ASSERT_EQ(CTkvs_Remove(b, &first, 1, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_PutInt(b, 990, 10, &e), CT_statusOK);  // appended at the end now
    ASSERT_EQ(CTkvs_Match(a, b, &same, &e), CT_statusOK);
    EXPECT_EQ(same, 0u);
    ASSERT_EQ(CTkvs_Destroy(a, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_Destroy(b, &e), CT_statusOK);
    EXPECT_EQ(MRQkvs_GetNumKVS(), before);
}

TEST(KeyIndex, KeysThatAllCollideUnderAKnownSeedCannotFloodTheIndex)
{
    // Under seed 0 the hash is the key itself, whose top bits are all zero:
    // every key wants slot 0, whatever the table's size.
    const std::uint64_t saved = kvs::index_seed();
    kvs::index_set_seed(0);
    std::vector<CTsymbol> keys;
    for (int32_t i = 0; i < 600; ++i) keys.push_back(static_cast<CTsymbol>(0x106Du + (i << 16)));
    CTerror e = 0;
    CTkvs built = 0, decoded = 0;
    ASSERT_EQ(CTkvs_Create(&built, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_Create(&decoded, &e), CT_statusOK);
    Model model;
    for (CTsymbol k : keys) {
        ASSERT_EQ(CTkvs_PutInt(built, k, static_cast<int32_t>(k), &e), CT_statusOK);
        model.emplace_back(k, static_cast<int32_t>(k));
    }
    // The same keys as a peer would send them, in one block.
    ASSERT_EQ(kvs::test::read_memory(decoded, kvs::test::memory_block(built)).error, CT_errorOK);
    for (CTkvs kvs : {built, decoded}) {
        const kvs::KeyIndex *index = kvs::registry_find(kvs)->index;
        ASSERT_NE(index, nullptr);
        EXPECT_LE(kvs::index_longest_probe(index), kvs::kProbeLimit);
        expect_same(kvs, model);
    }
    kvs::index_set_seed(saved);
    ASSERT_EQ(CTkvs_Destroy(built, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_Destroy(decoded, &e), CT_statusOK);
}

}  // namespace
