// Byte layouts of the KV-Set block in both variants, written out literally,
// and the frame of the memory buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "serial/codec.h"
#include "store/alloc_internal.h"
#include "store/registry.h"
#include "store/store.h"
#include "support/blocks.h"
#include "support/fixture.h"

using namespace kvs::test;

namespace {

constexpr CTsymbol K = 0x00010001;   // 01 00 01 00
constexpr CTsymbol K2 = 0x00020002;  // 02 00 02 00

Bytes hex(const std::string &text)
{
    Bytes out;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte) out.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

const std::string M = "4B 56 53 45 54 20 48 45 41 44 45 52 00 ";  // "KVSET HEADER" and its zero byte

struct Layout {
    const char *name;
    std::function<void(CTkvs)> fill;
    std::string memory;  // the block, from its marker
    std::string file;    // empty: same bytes as the memory block
};

void ok(CTstatus status, const CTerror &error)
{
    ASSERT_EQ(status, CT_statusOK);
    ASSERT_EQ(error, CT_errorOK);
}

const Layout kLayouts[] = {
    {"empty set", [](CTkvs) {}, M + "00 00 00 00", ""},
    {"int 5",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutInt(h, K, 5, &e), e);
     },
     M + "01 00 00 00  0F 00 00 00  01 00 01 00  01 00 00 00  04 00 00 00  05 00 00 00", ""},
    {"char: 2 bytes in memory, 4 in files",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutChar(h, K, 0x00E9, &e), e);
     },
     M + "01 00 00 00  1A 00 00 00  01 00 01 00  01 00 00 00  02 00 00 00  E9 00",
     M + "01 00 00 00  1A 00 00 00  01 00 01 00  01 00 00 00  04 00 00 00  E9 00 00 00"},
    {"string: width byte only in memory",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutString(h, K, L"hi", &e), e);
     },
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  04  03 00 00 00  68 00 00 00 69 00 00 00 00 00 00 00",
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  03 00 00 00  68 00 00 00 69 00 00 00 00 00 00 00"},
    {"null string",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutString(h, K, static_cast<const wchar_t *>(nullptr), &e), e);
     },
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  04  00 00 00 00",
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  00 00 00 00"},
    {"empty string",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutString(h, K, L"", &e), e);
     },
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  04  01 00 00 00  00 00 00 00",
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  01 00 00 00  00 00 00 00"},
    {"string above U+FFFF: a surrogate pair",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutString(h, K, L"a\U0001F600", &e), e);
     },
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  04  04 00 00 00  "
         "61 00 00 00  3D D8 00 00  00 DE 00 00  00 00 00 00",
     M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  04 00 00 00  "
         "61 00 00 00  3D D8 00 00  00 DE 00 00  00 00 00 00"},
    {"range: count 2, element size 8",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutIrange(h, K, -1, 7, &e), e);
     },
     M + "01 00 00 00  3C 00 00 00  01 00 01 00  02 00 00 00  08 00 00 00  FF FF FF FF  07 00 00 00", ""},
    {"error value travels as a symbol (21)",
     [](CTkvs h) {
         CTerror e = 0;
         ok(CTkvs_PutError(h, K, CT_errorBadFormat, &e), e);
     },
     M + "01 00 00 00  15 00 00 00  01 00 01 00  01 00 00 00  04 00 00 00  50 00 0A 00", ""},
    {"nested set: element size 0 and its own block",
     [](CTkvs h) {
         Set inner;
         CTerror e = 0;
         ok(CTkvs_PutInt(inner, K2, 9, &e), e);
         ok(CTkvs_PutKVS(h, K, inner, &e), e);
     },
     M + "01 00 00 00  3D 00 00 00  01 00 01 00  01 00 00 00  00 00 00 00  " + M +
         "01 00 00 00  0F 00 00 00  02 00 02 00  01 00 00 00  04 00 00 00  09 00 00 00",
     ""},
    {"byte array",
     [](CTkvs h) {
         const std::uint8_t bytes[] = {0xAB, 0xCD};
         CTerror e = 0;
         ok(CTkvs_PutByteArray(h, K, bytes, 2, &e), e);
     },
     M + "01 00 00 00  66 00 00 00  01 00 01 00  02 00 00 00  01 00 00 00 AB  01 00 00 00 CD", ""},
    {"int array and empty uint array",
     [](CTkvs h) {
         const std::int32_t ints[] = {1, -2};
         CTerror e = 0;
         ok(CTkvs_PutIntArray(h, K, ints, 2, &e), e);
         ok(CTkvs_PutUintArray(h, K2, nullptr, 0, &e), e);
     },
     M + "02 00 00 00  6A 00 00 00  01 00 01 00  02 00 00 00  04 00 00 00 01 00 00 00  04 00 00 00 FE FF FF FF"
         "  77 00 00 00  02 00 02 00  00 00 00 00",
     ""},
    {"range array",
     [](CTkvs h) {
         const struct_Irange ranges[] = {{1, 2}, {-3, 4}};
         CTerror e = 0;
         ok(CTkvs_PutIrangeArray(h, K, ranges, 2, &e), e);
     },
     M + "01 00 00 00  6B 00 00 00  01 00 01 00  02 00 00 00  08 00 00 00 01 00 00 00 02 00 00 00"
         "  08 00 00 00 FD FF FF FF 04 00 00 00",
     ""},
    {"string array with a null element",
     [](CTkvs h) {
         const wchar_t *strings[] = {L"a", nullptr};
         CTerror e = 0;
         ok(CTkvs_PutStringArray(h, K, strings, 2, &e), e);
     },
     M + "01 00 00 00  72 00 00 00  01 00 01 00  02 00 00 00  04 02 00 00 00 61 00 00 00 00 00 00 00  04 00 00 00 00",
     M + "01 00 00 00  72 00 00 00  01 00 01 00  02 00 00 00  02 00 00 00 61 00 00 00 00 00 00 00  00 00 00 00"},
    {"KV-Set array",
     [](CTkvs h) {
         Set empty, one;
         CTerror e = 0;
         ok(CTkvs_PutInt(one, K2, 1, &e), e);
         const CTkvs sets[] = {empty, one};
         ok(CTkvs_PutKVSArray(h, K, sets, 2, &e), e);
     },
     M + "01 00 00 00  6C 00 00 00  01 00 01 00  02 00 00 00  00 00 00 00 " + M + "00 00 00 00  00 00 00 00 " + M +
         "01 00 00 00  0F 00 00 00  02 00 02 00  01 00 00 00  04 00 00 00  01 00 00 00",
     ""},
};

class Layouts : public KvsTest {};

TEST_F(Layouts, EveryLayoutEncodesAndDecodesByteForByte)
{
    for (const Layout &layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Set set;
        layout.fill(set);
        for (const Variant &v : kVariants) {
            SCOPED_TRACE(v.name);
            const Bytes expected = hex(v.memory || layout.file.empty() ? layout.memory : layout.file);
            EXPECT_EQ(v.encode(set), expected);
            Set decoded;
            Result r = v.decode(decoded, expected);
            EXPECT_EQ(r.status, CT_statusOK);
            EXPECT_EQ(r.error, CT_errorOK);
            EXPECT_TRUE(sets_match(set, decoded));
        }
    }
}

TEST_F(Layouts, EmptySetFrameAndBlockSizes)
{
    Set empty;
    EXPECT_EQ(memory_frame(empty), hex("DA A1 DE C0 1D 00 00 00 4B 56 53 45 54 20 48 45 41 44 45 52 00 "
                                       "00 00 00 00 D0 DA 38 A1"));
    EXPECT_EQ(file_block(empty).size(), 17u);
    Set five;
    CTerror e = 0;
    CTkvs_PutInt(five, K, 5, &e);
    Bytes frame = memory_frame(five);
    ASSERT_EQ(frame.size(), 49u);
    EXPECT_EQ(Bytes(frame.begin() + 4, frame.begin() + 8), hex("31 00 00 00"));
    EXPECT_EQ(Bytes(frame.end() - 4, frame.end()), hex("D0 DA 38 A1"));
    EXPECT_EQ(file_block(five).size(), 37u);
}

TEST_F(Layouts, UnknownTypeCodeIsWrittenAsTypeAndKeyAlone)
{
    Set set;
    CTerror e = 0;
    CTkvs_PutInt(set, K, 1, &e);
    CTkvs_PutInt(set, K2, 2, &e);
    kvs::find_pair(kvs::registry_find(set), K)->type = 99;  // no put makes such a pair
    const Bytes expected = hex(M + "02 00 00 00  63 00 00 00  01 00 01 00  "
                                   "0F 00 00 00  02 00 02 00  01 00 00 00  04 00 00 00  02 00 00 00");
    EXPECT_EQ(memory_block(set), expected);
    EXPECT_EQ(file_block(set), expected);
    kvs::find_pair(kvs::registry_find(set), K)->type = KV_TYPE_INT;  // so the pair is released as an int
}

TEST_F(Layouts, UnwritableCharactersBecomeReplacementCharacter)
{
    // A wchar_t beyond U+10FFFF has no UTF-16 form; a lone surrogate is kept.
    Set set;
    const wchar_t text[] = {static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xDC00), 0};
    CTerror e = 0;
    CTkvs_PutString(set, K, text, &e);
    EXPECT_EQ(file_block(set), hex(M + "01 00 00 00  3E 00 00 00  01 00 01 00  01 00 00 00  03 00 00 00  "
                                       "FD FF 00 00  00 DC 00 00  00 00 00 00"));
}

TEST_F(Layouts, PairWithTheStartCursorKeyIsWrittenOnceInOrder)
{
    Set set;
    CTerror e = 0;
    CTkvs_PutInt(set, K, 1, &e);
    CTkvs_PutInt(set, CT_keyFirst, 2, &e);
    CTkvs_PutInt(set, K2, 3, &e);
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        Bytes block = v.encode(set);
        EXPECT_EQ(block.size(), 17u + 3 * 20);
        Set decoded;
        EXPECT_EQ(v.decode(decoded, block).status, CT_statusOK);
        EXPECT_TRUE(sets_match(set, decoded));
    }
}

TEST_F(Layouts, EncodingLeavesEveryIterationPositionPastTheLastPair)
{
    Set inner, set;
    CTerror e = 0;
    CTkvs_PutInt(inner, K2, 1, &e);
    CTkvs_PutKVS(set, K, inner, &e);
    CTkvs_PutInt(set, K2, 1, &e);
    CTkvs nested = 0;
    ASSERT_EQ(CTkvs_GetKVS(set, K, &nested, &e), CT_statusOK);
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        // Park both positions on their first pair, then encode.
        CTsymbol cursor = CT_keyFirst, key;
        std::uint32_t type;
        std::int32_t count;
        ASSERT_EQ(CTkvs_GetNext(set, &cursor, &key, &type, &count, &e), CT_statusOK);
        cursor = CT_keyFirst;
        ASSERT_EQ(CTkvs_GetNext(nested, &cursor, &key, &type, &count, &e), CT_statusOK);
        v.encode(set);
        for (CTkvs h : {static_cast<CTkvs>(set), nested}) {
            cursor = K;  // any cursor but CT_keyFirst continues from the position
            EXPECT_EQ(CTkvs_GetNext(h, &cursor, &key, &type, &count, &e), CT_statusWarning);
            EXPECT_EQ(e, CT_errorEndOfList);
        }
    }
}

TEST_F(Layouts, FramedBufferIsReadFromOffsetEight)
{
    Set set, target;
    CTerror e = 0;
    CTkvs_PutString(set, K, L"x", &e);
    Bytes frame = memory_frame(set);
    EXPECT_EQ(read_memory(target, frame).error, CT_errorBadFormat);  // the magic is not a marker
    EXPECT_EQ(MRQkvs_GetNumPairs(target), 0);
    Result r = read_memory(target, Bytes(frame.begin() + 8, frame.end()));  // trailer left at the end
    EXPECT_EQ(r.status, CT_statusOK);
    EXPECT_TRUE(sets_match(set, target));
}

TEST_F(Layouts, SmallFrameTakesOneAllocationAndLargeOnesGrowByStep)
{
    Set set;
    CTerror e = 0;
    CTkvs_PutInt(set, K, 1, &e);
    kvs::test::fail_allocation(UINT64_MAX, kvs::test::FailMode::Once);  // count only
    Bytes frame = memory_frame(set);
    EXPECT_EQ(kvs::test::disarm_allocation_failures(), 1u);

    // A 30000-character string: the frame passes two growth steps.
    std::wstring big(30000, L'z');
    CTkvs_PutString(set, K2, big.c_str(), &e);
    kvs::test::fail_allocation(UINT64_MAX, kvs::test::FailMode::Once);
    frame = memory_frame(set);
    std::uint64_t allocations = kvs::test::disarm_allocation_failures();
    EXPECT_GE(allocations, 2u);
    EXPECT_LE(allocations, 1u + frame.size() / KVS_BUFFER_STEP);
    Set back;
    EXPECT_EQ(read_memory(back, Bytes(frame.begin() + 8, frame.end())).status, CT_statusOK);
    EXPECT_TRUE(sets_match(set, back));
}

TEST_F(Layouts, OutputBufferGrowsByNeedPlusStep)
{
    kvs::serial::OutputBuffer out;
    ASSERT_TRUE(out.open());
    EXPECT_EQ(out.capacity(), KVS_BUFFER_STEP);
    Bytes ones(10000, 0xFF);
    ASSERT_TRUE(out.write(ones.data(), ones.size()));
    EXPECT_EQ(out.capacity(), KVS_BUFFER_STEP);
    ASSERT_TRUE(out.write(ones.data(), 500));
    EXPECT_EQ(out.capacity(), KVS_BUFFER_STEP + 500 + KVS_BUFFER_STEP);
    EXPECT_EQ(out.used(), 10500u);

    // A failed growth keeps the old allocation and content.
    kvs::test::fail_allocation(1, kvs::test::FailMode::Once);
    Bytes more(20000, 1);
    EXPECT_FALSE(out.write(more.data(), more.size()));
    kvs::test::disarm_allocation_failures();
    EXPECT_EQ(out.used(), 10500u);
    EXPECT_EQ(out.start()[10499], 0xFF);
}

TEST_F(Layouts, WriteToMemoryArgumentsAndHandles)
{
    Set set;
    std::uint8_t *buffer = reinterpret_cast<std::uint8_t *>(&buffer);  // must stay untouched on failure
    std::uint8_t *const sentinel = buffer;
    std::uint32_t length = 77;
    CTerror e = 0;
    EXPECT_EQ(MRQkvs_WriteToMemory(&buffer, set, &length, nullptr), CT_statusFail);
    EXPECT_EQ(MRQkvs_WriteToMemory(&buffer, 0, &length, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorInvalidKVSet);
    EXPECT_EQ(MRQkvs_WriteToMemory(nullptr, set, &length, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorBadParameter);
    kvs::test::fail_allocation(1, kvs::test::FailMode::Once);
    EXPECT_EQ(MRQkvs_WriteToMemory(&buffer, set, &length, &e), CT_statusFail);
    kvs::test::disarm_allocation_failures();
    EXPECT_EQ(e, CT_errorNoResource);
    EXPECT_EQ(buffer, sentinel);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(MRQkvs_ReadFromMemory(0, nullptr, 0, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorInvalidKVSet);
    EXPECT_EQ(MRQkvs_ReadFromMemory(set, nullptr, 100, &e), CT_statusFail);  // no buffer: nothing to read
    EXPECT_EQ(e, CT_errorBadFormat);
    EXPECT_EQ(MRQkvs_FreeBuffer(nullptr), 0u);
}

}  // namespace
