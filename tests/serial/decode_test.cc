// The block reader on malformed, truncated and unusual input, in both
// variants, and decoding as a merge into a KV-Set that already holds pairs.
#include <gtest/gtest.h>

#include <functional>

#include "store/alloc_internal.h"
#include "store/registry.h"
#include "store/store.h"
#include "support/blocks.h"
#include "support/fixture.h"

using namespace kvs::test;

namespace {

constexpr CTsymbol KEEP = 0x0000FFFF;  // a pair the target held before decoding
constexpr CTsymbol K1 = 0x00010001;
constexpr CTsymbol K2 = 0x00020002;
constexpr std::uint32_t HUGE_COUNT = 0x7FFFFFFF;

// A target that already holds KEEP = 42.
struct Target : Set {
    Target()
    {
        CTerror e = 0;
        EXPECT_EQ(CTkvs_PutInt(*this, KEEP, 42, &e), CT_statusOK);
    }
    bool holds(CTsymbol key) const
    {
        std::uint32_t type = 0;
        CTerror e = 0;
        return CTkvs_GetType(*this, key, &type, &e) == CT_statusOK;
    }
    void expect_kept() const
    {
        std::int32_t v = 0;
        CTerror e = 0;
        EXPECT_EQ(CTkvs_GetInt(*this, KEEP, &v, &e), CT_statusOK);
        EXPECT_EQ(v, 42);
    }
};

// A string record in the given variant.
Builder &string_head(Builder &b, bool memory, std::uint32_t n)
{
    if (memory) b.u8(4);
    return b.u32(n);
}

struct Corruption {
    const char *name;
    // The block: usually a valid int pair K1 = 1 followed by the damaged record.
    std::function<Bytes(bool memory)> block;
    CTerror memoryError;  // status 3 unless CT_errorOK
    CTerror fileError;
    bool firstPairStored;
};

Builder with_first_pair(std::int32_t pairs)
{
    Builder b;
    b.head(pairs).pair(KV_TYPE_INT, K1, 1).u32(4).u32(1);
    return b;
}

const Corruption kCorruptions[] = {
    {"marker differs",
     [](bool) {
         Bytes b = with_first_pair(1).bytes;
         b[11] = 'X';
         return b;
     },
     CT_errorBadFormat, CT_errorBadHeader, false},
    {"marker cut short", [](bool) { return Bytes{'K', 'V', 'S'}; }, CT_errorBadFormat, CT_errorBadHeader, false},
    {"empty input", [](bool) { return Bytes{}; }, CT_errorBadFormat, CT_errorBadHeader, false},
    {"pair count cut short", [](bool) { return Builder().marker().u16(1).bytes; }, CT_errorBadFormat,
     CT_errorBadFormat, false},
    {"negative pair count reads nothing", [](bool) { return with_first_pair(-5).bytes; }, CT_errorOK, CT_errorOK,
     false},
    {"zero pair count reads nothing", [](bool) { return with_first_pair(0).bytes; }, CT_errorOK, CT_errorOK, false},
    {"more pairs announced than present", [](bool) { return with_first_pair(3).bytes; }, CT_errorBadFormat,
     CT_errorBadFormat, true},
    {"negative array count", [](bool) { return with_first_pair(2).pair(KV_TYPE_INT_ARRAY, K2, -1).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"array count beyond the buffer",
     [](bool) { return with_first_pair(2).pair(KV_TYPE_INT_ARRAY, K2, HUGE_COUNT).u32(4).u32(7).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"range array count whose size passes 32 bits",
     [](bool) { return with_first_pair(2).pair(KV_TYPE_IRANGE_ARRAY, K2, 0x20000000).u32(8).u32(1).u32(2).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"byte array one byte short",
     [](bool) { return with_first_pair(2).pair(KV_TYPE_BYTE_ARRAY, K2, 2).u32(1).u8(9).u32(1).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"string n beyond the buffer",
     [](bool m) {
         Builder b = with_first_pair(2);
         b.pair(KV_TYPE_STRING, K2, 1);
         return string_head(b, m, HUGE_COUNT).u32('a').bytes;
     },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"negative string n",
     [](bool m) {
         Builder b = with_first_pair(2);
         b.pair(KV_TYPE_STRING, K2, 1);
         return string_head(b, m, 0xFFFFFFFF).bytes;
     },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"string cut inside its units",
     [](bool m) {
         Builder b = with_first_pair(2);
         b.pair(KV_TYPE_STRING, K2, 1);
         return string_head(b, m, 3).u32('a').u16(0).bytes;
     },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"string array count beyond the buffer",
     [](bool m) {
         Builder b = with_first_pair(2);
         b.pair(KV_TYPE_STRING_ARRAY, K2, HUGE_COUNT);
         return string_head(b, m, 0).bytes;
     },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"string array cut after its first string",
     [](bool m) {
         Builder b = with_first_pair(2);
         b.pair(KV_TYPE_STRING_ARRAY, K2, 2);
         return string_head(b, m, 2).u32('a').u32(0).bytes;
     },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"KV-Set array count beyond the buffer",
     [](bool) { return with_first_pair(2).pair(KV_TYPE_KVS_ARRAY, K2, 0x40000000).u32(4).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"negative KV-Set array count", [](bool) { return with_first_pair(2).pair(KV_TYPE_KVS_ARRAY, K2, -2).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"KV-Set array element size missing after a decoded element",
     [](bool) { return with_first_pair(2).pair(KV_TYPE_KVS_ARRAY, K2, 2).u32(0).head(0).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"KV-Set array element whose nested marker differs",
     [](bool) {
         Builder b = with_first_pair(2);
         b.pair(KV_TYPE_KVS_ARRAY, K2, 3).u32(0).head(0).u32(4).u32(0).head(0);
         b.bytes[b.bytes.size() - 6] = '?';
         return b.bytes;
     },
     CT_errorBadFormat, CT_errorBadHeader, true},
    {"nested block cut short",
     [](bool) { return with_first_pair(2).pair(KV_TYPE_KVS, K2, 1).u32(0).head(1).pair(KV_TYPE_INT, K1, 1).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"character cut short",
     [](bool) { return with_first_pair(2).pair(KV_TYPE_CHAR, K2, 1).u32(2).u8('a').bytes; }, CT_errorBadFormat,
     CT_errorBadFormat, true},
    {"unknown type code cut inside its 12 bytes", [](bool) { return with_first_pair(2).u32(99).u32(K2).bytes; },
     CT_errorBadFormat, CT_errorBadFormat, true},
    {"empty mode array is refused as its put refuses it",
     [](bool) { return with_first_pair(3).pair(KV_TYPE_MODE_ARRAY, K2, 0).pair(KV_TYPE_INT, 7, 1).u32(4).u32(7).bytes; },
     CT_errorBadParameter, CT_errorBadParameter, true},
};

class Decode : public KvsTest {};

TEST_F(Decode, CorruptionTable)
{
    for (const Corruption &row : kCorruptions) {
        SCOPED_TRACE(row.name);
        for (const Variant &v : kVariants) {
            SCOPED_TRACE(v.name);
            Target target;
            const CTerror expected = v.memory ? row.memoryError : row.fileError;
            Result r = v.decode(target, row.block(v.memory));
            EXPECT_EQ(r.status, expected == CT_errorOK ? CT_statusOK : CT_statusFail);
            EXPECT_EQ(r.error, expected);
            target.expect_kept();
            EXPECT_EQ(target.holds(K1), row.firstPairStored);
            EXPECT_FALSE(target.holds(K2));
            EXPECT_EQ(MRQkvs_GetNumPairs(target), row.firstPairStored ? 2 : 1);
        }
    }
}

TEST_F(Decode, OversizedCountsAllocateNothing)
{
    const Bytes blocks[] = {
        Builder().head(1).pair(KV_TYPE_INT_ARRAY, K1, HUGE_COUNT).bytes,
        Builder().head(1).pair(KV_TYPE_KVS_ARRAY, K1, HUGE_COUNT).bytes,
        Builder().head(1).pair(KV_TYPE_STRING_ARRAY, K1, HUGE_COUNT).bytes,
        Builder().head(1).pair(KV_TYPE_STRING, K1, 1).u32(HUGE_COUNT).bytes,  // file form: no width byte
    };
    for (const Bytes &block : blocks) {
        Set target;
        kvs::test::fail_allocation(UINT64_MAX, kvs::test::FailMode::Once);
        Result r = read_file(target, block);
        EXPECT_EQ(kvs::test::disarm_allocation_failures(), 0u);
        EXPECT_EQ(r.error, CT_errorBadFormat);
    }
}

TEST_F(Decode, TruncationAtEveryByteKeepsTheWholePairsBefore)
{
    Set inner;
    CTerror e = 0;
    CTkvs_PutString(inner, K1, L"nested", &e);
    const std::uint32_t words[] = {5, 6, 7};
    const std::function<void(CTkvs)> puts[] = {
        [&](CTkvs h) { CTkvs_PutInt(h, K1, 1, &e); },
        [&](CTkvs h) { CTkvs_PutString(h, K2, L"two", &e); },
        [&](CTkvs h) { CTkvs_PutKVS(h, 3, inner, &e); },
        [&](CTkvs h) { CTkvs_PutUintArray(h, 4, words, 3, &e); },
        [&](CTkvs h) { CTkvs_PutChar(h, 5, 'c', &e); },
    };
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        // ends[i]: where pair record i ends, the length of a block of the pairs before it.
        std::vector<std::size_t> ends;
        Set source;
        ends.push_back(v.encode(source).size());
        for (const auto &put : puts) {
            put(source);
            ends.push_back(v.encode(source).size());
        }
        const Bytes full = v.encode(source);
        for (std::size_t cut = 0; cut < full.size(); ++cut) {
            SCOPED_TRACE(cut);
            Target target;
            Result r = v.decode(target, Bytes(full.begin(), full.begin() + static_cast<long>(cut)));
            EXPECT_EQ(r.status, CT_statusFail);
            EXPECT_EQ(r.error, !v.memory && cut < 13 ? CT_errorBadHeader : CT_errorBadFormat);
            std::int32_t whole = 0;
            while (ends[static_cast<std::size_t>(whole) + 1] <= cut) ++whole;
            EXPECT_EQ(MRQkvs_GetNumPairs(target), 1 + whole);
            target.expect_kept();
        }
    }
}

TEST_F(Decode, TolerantReadingOfFieldsTheReaderIgnores)
{
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        Builder b;
        b.head(6);
        b.pair(99, 0x99, 12345);                       // unknown code: 12 bytes, nothing stored
        b.pair(KV_TYPE_INT, K1, 77).u32(0xDEAD).u32(5);  // any count and element size
        b.pair(KV_TYPE_ERROR, K2, 1).u32(4).u32(CT_errorBadFormat);
        b.pair(KV_TYPE_STRING, 3, 1);
        if (v.memory) b.u8(0xEE);  // any width byte
        b.u32(2).u32('a').u32(0xABCD0000 | 'b');  // not terminated; high 16 bits ignored
        b.pair(KV_TYPE_STRING, 4, 1);
        if (v.memory) b.u8(4);
        // A valid pair, a lone high surrogate, a lone low surrogate, and a high
        // surrogate at the end of the record.
        b.u32(6).u32(0xD83D).u32(0xDE00).u32(0xD800).u32('x').u32(0xDC01).u32(0xDBFF);
        b.pair(KV_TYPE_KVS_ARRAY, 5, 3).u32(0).head(0).u32(4).u32(1234);  // any non-zero size: empty element
        Set target;
        Result r = v.decode(target, b.bytes);
        ASSERT_EQ(r.status, CT_statusOK);
        CTerror e = 0;
        std::uint32_t type = 0;
        EXPECT_EQ(CTkvs_GetType(target, 0x99, &type, &e), CT_statusWarning);
        std::int32_t i = 0;
        EXPECT_EQ(CTkvs_GetInt(target, K1, &i, &e), CT_statusOK);
        EXPECT_EQ(i, 5);
        EXPECT_EQ(CTkvs_GetType(target, K2, &type, &e), CT_statusOK);
        EXPECT_EQ(type, static_cast<std::uint32_t>(KV_TYPE_SYMBOL));  // an error record is stored as 21
        wchar_t *s = nullptr;
        ASSERT_EQ(CTkvs_GetString(target, 3, &s, &e), CT_statusOK);
        EXPECT_STREQ(s, L"ab");
        ASSERT_EQ(CTkvs_GetString(target, 4, &s, &e), CT_statusOK);
        const wchar_t joined[] = {0x1F600, 0xD800, L'x', 0xDC01, 0xDBFF, 0};
        EXPECT_STREQ(s, joined);
        KVPairNode *node = kvs::find_pair(kvs::registry_find(target), 5);
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->count, 3);
        const CTkvs *handles = static_cast<const CTkvs *>(node->value());
        EXPECT_NE(handles[0], 0u);
        EXPECT_EQ(handles[1], 0u);
        EXPECT_EQ(handles[2], 0u);
        EXPECT_EQ(MRQkvs_GetNumPairs(target), 5);
    }
}

TEST_F(Decode, MergesIntoAKVSetThatHoldsPairs)
{
    Set source, target, inner;
    CTerror e = 0;
    CTkvs_PutInt(inner, K1, 1, &e);
    CTkvs_PutInt(target, 1, 10, &e);
    CTkvs_PutString(target, 2, L"old", &e);
    CTkvs_PutKVS(target, 3, inner, &e);
    CTkvs_PutInt(source, 2, 20, &e);  // replaces a string: new type, same place
    CTkvs_PutChar(source, 4, 'd', &e);
    CTkvs_PutKVS(source, 3, inner, &e);  // replaces a nested set
    const std::uint32_t before = MRQkvs_GetNumKVS();
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        const Bytes block = v.encode(source);
        for (int round = 0; round < 2; ++round) {  // a second read changes nothing
            ASSERT_EQ(v.decode(target, block).status, CT_statusOK);
            EXPECT_EQ(MRQkvs_GetNumPairs(target), 4);
            EXPECT_EQ(MRQkvs_GetNumKVS(), before);
            CTsymbol cursor = CT_keyFirst, key = 0;
            std::uint32_t type = 0;
            std::int32_t count = 0;
            const CTsymbol order[] = {1, 2, 3, 4};
            const std::uint32_t types[] = {KV_TYPE_INT, KV_TYPE_INT, KV_TYPE_KVS, KV_TYPE_CHAR};
            for (int i = 0; i < 4; ++i) {
                ASSERT_EQ(CTkvs_GetNext(target, &cursor, &key, &type, &count, &e), CT_statusOK);
                EXPECT_EQ(key, order[i]);
                EXPECT_EQ(type, types[i]);
            }
            std::int32_t value = 0;
            CTkvs_GetInt(target, 2, &value, &e);
            EXPECT_EQ(value, 20);
        }
    }
}

// A chain of `levels` KV-Sets nested in one another under key 1.
CTkvs nest(int levels)
{
    CTerror e = 0;
    CTkvs current = 0;
    CTkvs_Create(&current, &e);
    for (int i = 0; i < levels; ++i) {
        CTkvs outer = 0;
        CTkvs_Create(&outer, &e);
        CTkvs_PutKVS(outer, 1, current, &e);
        CTkvs_Destroy(current, &e);
        current = outer;
    }
    return current;
}

Bytes nested_block(int levels)
{
    Builder b;
    for (int i = 0; i < levels; ++i) b.head(1).pair(KV_TYPE_KVS, 1, 1).u32(0);
    b.head(0);
    return b.bytes;
}

TEST_F(Decode, NestingIsLimitedTheSameWayInBothDirections)
{
    CTkvs deepest = nest(KVS_MAX_NESTING);
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        const Bytes limit = v.encode(deepest);
        EXPECT_EQ(limit, nested_block(KVS_MAX_NESTING));
        Set back;
        EXPECT_EQ(v.decode(back, limit).status, CT_statusOK);
        EXPECT_TRUE(sets_match(deepest, back));

        Set target;
        Result r = v.decode(target, nested_block(KVS_MAX_NESTING + 1));
        EXPECT_EQ(r.status, CT_statusFail);
        EXPECT_EQ(r.error, CT_errorBadFormat);
        EXPECT_EQ(MRQkvs_GetNumPairs(target), 0);
        // The same through a KV-Set array element.
        Builder viaArray;
        viaArray.head(1).pair(KV_TYPE_KVS_ARRAY, 1, 1).u32(0).append(nested_block(KVS_MAX_NESTING));
        EXPECT_EQ(v.decode(target, viaArray.bytes).error, CT_errorBadFormat);
    }
    // What the readers refuse cannot be built by puts either, so every set
    // can be written: one more level is refused at the put.
    Set outer;
    CTerror e = 0;
    EXPECT_EQ(CTkvs_PutKVS(outer, 1, deepest, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorBadParameter);
    EXPECT_EQ(MRQkvs_GetNumPairs(outer), 0);
    CTkvs_Destroy(deepest, &e);
}

}  // namespace
