// What a decode takes from the heap: one block per pair (a string shares its
// pair node's block), the key index sized once from the block's pair count,
// and no more than the bytes given can justify when the count lies. Decoded
// strings that live in their node stay right through replace, remove, clear
// and destroy.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <string>

#include "kvset/ctkvs.h"
#include "store/alloc_internal.h"
#include "support/blocks.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

class DecodeHeap : public KvsTest {};

constexpr CTsymbol key_at(std::int32_t i) { return 0x106Du + (static_cast<CTsymbol>(i) << 16); }

std::wstring text_at(std::int32_t i) { return L"text-" + std::to_wstring(100000 + i); }

Bytes block_of(bool strings, std::int32_t pairs)
{
    Set source;
    CTerror e = 0;
    for (std::int32_t i = 0; i < pairs; ++i) {
        if (strings)
            EXPECT_EQ(CTkvs_PutString(source, key_at(i), text_at(i).c_str(), &e), CT_statusOK);
        else
            EXPECT_EQ(CTkvs_PutInt(source, key_at(i), i, &e), CT_statusOK);
    }
    return memory_block(source);
}

TEST_F(DecodeHeap, OneAllocationAPairAndTheIndexOnce)
{
    // The set's header and registry entry come from CTkvs_Create, outside
    // the count; the read may add the index block besides one block a pair.
    const struct {
        bool strings;
        std::int32_t pairs;
    } rows[] = {{false, 100}, {false, 3000}, {true, 100}, {true, 3000}};
    for (const auto &row : rows) {
        SCOPED_TRACE((row.strings ? "strings, " : "ints, ") + std::to_string(row.pairs));
        const Bytes block = block_of(row.strings, row.pairs);
        CTkvs target = make_set();
        fail_allocation(0, FailMode::Once);  // counts without failing
        ASSERT_EQ(read_memory(target, block).error, CT_errorOK);
        EXPECT_LE(disarm_allocation_failures(), static_cast<std::uint64_t>(row.pairs) + 1);
        ASSERT_EQ(MRQkvs_GetNumPairs(target), row.pairs);
        CTerror e = 0;
        for (std::int32_t i : {0, row.pairs / 2, row.pairs - 1}) {
            if (row.strings) {
                wchar_t *s = nullptr;
                ASSERT_EQ(CTkvs_GetString(target, key_at(i), &s, &e), CT_statusOK);
                EXPECT_EQ(std::wstring(s), text_at(i));
            } else {
                std::int32_t v = -1;
                ASSERT_EQ(CTkvs_GetInt(target, key_at(i), &v, &e), CT_statusOK);
                EXPECT_EQ(v, i);
            }
        }
    }
}

TEST_F(DecodeHeap, StringsInTheirNodesSurviveReplaceRemoveAndClear)
{
    const Bytes block = block_of(true, 40);
    count_live_blocks(true);
    {
        Set target;
        ASSERT_EQ(read_memory(target, block).error, CT_errorOK);
        CTerror e = 0;
        // Replaced in place by a longer string, by an int, by a range; one removed.
        ASSERT_EQ(CTkvs_PutString(target, key_at(3), L"a longer string than the one decoded", &e), CT_statusOK);
        ASSERT_EQ(CTkvs_PutInt(target, key_at(4), 44, &e), CT_statusOK);
        ASSERT_EQ(CTkvs_PutIrange(target, key_at(5), -5, 5, &e), CT_statusOK);
        const CTsymbol gone = key_at(6);
        ASSERT_EQ(CTkvs_Remove(target, &gone, 1, &e), CT_statusOK);
        // The same block again: every key is held, so each string is replaced in place.
        const Bytes again = block_of(true, 8);
        ASSERT_EQ(read_memory(target, again).error, CT_errorOK);
        EXPECT_EQ(MRQkvs_GetNumPairs(target), 40);  // key 6 came back at the end

        CTsymbol cursor = CT_keyFirst, key = 0;
        std::uint32_t type = 0;
        std::int32_t count = 0;
        std::int32_t position = 0;
        while (CTkvs_GetNext(target, &cursor, &key, &type, &count, &e) == CT_statusOK) {
            cursor = 0;
            const std::int32_t expected = position < 6 ? position : position < 39 ? position + 1 : 6;
            ASSERT_EQ(key, key_at(expected)) << "position " << position;
            ++position;
        }
        wchar_t *s = nullptr;
        ASSERT_EQ(CTkvs_GetString(target, key_at(3), &s, &e), CT_statusOK);
        EXPECT_EQ(std::wstring(s), text_at(3));
        ASSERT_EQ(CTkvs_GetString(target, key_at(20), &s, &e), CT_statusOK);
        EXPECT_EQ(std::wstring(s), text_at(20));
        std::int32_t v = 0;
        EXPECT_NE(CTkvs_GetInt(target, key_at(4), &v, &e), CT_statusOK);  // a string again
        ASSERT_EQ(CTkvs_Clear(target, &e), CT_statusOK);
        ASSERT_EQ(read_memory(target, block).error, CT_errorOK);
    }
    EXPECT_EQ(live_blocks(), 0);
    count_live_blocks(false);
}

TEST_F(DecodeHeap, APairCountTheBytesCannotHoldSizesNothingLarge)
{
    // Fifty million pairs announced, two present: the read fails when the
    // bytes run out, having taken no more than the bytes could justify.
    Builder b;
    b.head(50000000);
    for (std::int32_t i = 0; i < 2; ++i) b.pair(KV_TYPE_INT, key_at(i), 1).u32(4).u32(7);
    CTkvs target = make_set();
    const std::size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    fail_allocation(0, FailMode::Once);
    EXPECT_EQ(read_memory(target, b.bytes).error, CT_errorBadFormat);
    const std::uint64_t allocations = disarm_allocation_failures();
    const std::size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
    EXPECT_LE(allocations, 2u);
    EXPECT_LT(after - before, 64u * 1024u);
    EXPECT_EQ(MRQkvs_GetNumPairs(target), 2);
}

}  // namespace
}  // namespace kvs::test
