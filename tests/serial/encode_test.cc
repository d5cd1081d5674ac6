// The encoder's records checked against blocks built by hand: strings whose
// characters are each their own UTF-16 unit and strings that need the
// transcoder, in both variants, as a pair and as array elements; and records
// that cross the end of the memory buffer's first allocation.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "serial/codec.h"
#include "serial/utf16.h"
#include "store/registry.h"
#include "support/blocks.h"
#include "support/fixture.h"

namespace {

using namespace kvs::test;

// A string record as the transcoder's units make it.
Builder &string_units(Builder &b, const std::wstring &text, bool memory)
{
    std::vector<std::uint32_t> units;
    kvs::serial::write_utf16(text.c_str(), [&units](std::uint32_t u) {
        units.push_back(u);
        return true;
    });
    if (memory) b.u8(4);
    b.u32(static_cast<std::uint32_t>(units.size()));
    for (std::uint32_t u : units) b.u32(u);
    return b;
}

Builder &string_record(Builder &b, CTsymbol key, const std::wstring &text, bool memory)
{
    return string_units(b.pair(KV_TYPE_STRING, key, 1), text, memory);
}

Builder &int_record(Builder &b, CTsymbol key, std::int32_t value)
{
    return b.pair(KV_TYPE_INT, key, 1).u32(4).u32(static_cast<std::uint32_t>(value));
}

Builder &int_array_record(Builder &b, CTsymbol key, const std::vector<std::int32_t> &values)
{
    b.pair(KV_TYPE_INT_ARRAY, key, static_cast<std::int32_t>(values.size()));
    for (std::int32_t v : values) b.u32(4).u32(static_cast<std::uint32_t>(v));
    return b;
}

std::wstring chars(std::initializer_list<std::uint32_t> codes)
{
    std::wstring s;
    for (std::uint32_t c : codes) s.push_back(static_cast<wchar_t>(c));
    return s;
}

class EncodeStrings : public KvsTest {};

// Each string as a pair and inside an array, so both the record that carries
// the pair's head and the bare element are covered; lengths around multiples
// of four, with the odd character first, in the middle and last.
TEST_F(EncodeStrings, EveryStringIsItsTranscodersUnitsInBothVariants)
{
    struct Case {
        const char *what;
        std::wstring text;
    };
    std::vector<Case> cases = {
        {"empty", L""},
        {"ASCII", L"call-00042"},
        {"basic plane edges", chars({0xD7FF, 0xE000, 0xFFFF, 'a'})},
        {"pair first", L"\U0001F600abcdefgh"},
        {"pair in the middle", L"abcd\U00010000efgh"},
        {"pair last", L"abcdefgh\U0010FFFF"},
        {"lone high surrogate", chars({0xD800, 'x', 'y', 'z', 'w'})},
        {"lone low surrogate last", chars({'a', 'b', 'c', 0xDFFF})},
        {"beyond U+10FFFF", chars({'a', 'b', 0x110000, 'c', 'd'})},
        {"negative", chars({'a', 'b', 'c', 'd', 'e', static_cast<std::uint32_t>(-1)})},
        {"long, own units", std::wstring(12000, L'\uE000')},
        {"long, pair last", std::wstring(12000, L'z') + L"\U0001F600"},
    };
    for (std::size_t length = 1; length <= 9; ++length) {
        cases.push_back({"own units, short", std::wstring(length, L'\uFFFF')});
        cases.push_back({"pair after a short run", std::wstring(length - 1, L'q') + L"\U0001F601"});
        cases.push_back({"beyond U+10FFFF after a short run", std::wstring(length - 1, L'q') + chars({0x7FFFFFFF})});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.what << ", " << c.text.size() << " characters");
        Set set;
        CTerror e = 0;
        ASSERT_EQ(CTkvs_PutString(set, 7, c.text.c_str(), &e), CT_statusOK);
        const wchar_t *array[] = {c.text.c_str(), nullptr, L"x", c.text.c_str()};
        ASSERT_EQ(CTkvs_PutStringArray(set, 8, array, 4, &e), CT_statusOK);
        for (const Variant &v : kVariants) {
            SCOPED_TRACE(v.name);
            Builder expected;
            string_record(expected.head(2), 7, c.text, v.memory);
            expected.pair(KV_TYPE_STRING_ARRAY, 8, 4);
            string_units(expected, c.text, v.memory);
            if (v.memory) expected.u8(4);
            expected.u32(0);  // the null string
            string_units(expected, L"x", v.memory);
            string_units(expected, c.text, v.memory);
            EXPECT_EQ(v.encode(set), expected.bytes);
        }
    }
}

class EncodeBuffer : public KvsTest {};

// A filler array moves the end of the first 10240 bytes across every byte
// of a run of records of each kind claimed whole; the frame must be the
// records written out, and the buffer must have grown once, by the record
// that crossed plus a step.
TEST_F(EncodeBuffer, RecordsAcrossTheFirstBufferAreWrittenWholeAndGrowItByThemselves)
{
    const std::wstring plain = L"call-00042", paired = L"ab\U0001F600cd", lone = chars({0xDBFF, 'e'});
    const std::vector<std::int32_t> three = {1, -2, 3};
    for (int prefix = 0; prefix < 2; ++prefix) {
        for (std::uint32_t filler = 1245; filler < 1282; ++filler) {
            SCOPED_TRACE(::testing::Message() << "prefix " << prefix << ", filler " << filler);
            Set set;
            CTerror e = 0;
            if (prefix == 1) CTkvs_PutString(set, 1, L"p", &e);
            const std::vector<std::int32_t> fill(filler, 0x01020304);
            CTkvs_PutIntArray(set, 2, fill.data(), filler, &e);
            CTkvs_PutInt(set, 3, 42, &e);
            CTkvs_PutString(set, 4, plain.c_str(), &e);
            CTkvs_PutString(set, 5, paired.c_str(), &e);
            CTkvs_PutInt(set, 6, -1, &e);
            CTkvs_PutIntArray(set, 7, three.data(), 3, &e);
            CTkvs_PutString(set, 8, lone.c_str(), &e);

            for (const Variant &v : kVariants) {
                SCOPED_TRACE(v.name);
                // The block, and where each record ends within it.
                Builder b;
                b.head(prefix + 7);
                std::vector<std::size_t> ends;
                const auto record = [&b, &ends](Builder &) { ends.push_back(b.bytes.size()); };
                if (prefix == 1) record(string_record(b, 1, L"p", v.memory));
                record(int_array_record(b, 2, fill));
                record(int_record(b, 3, 42));
                record(string_record(b, 4, plain, v.memory));
                record(string_record(b, 5, paired, v.memory));
                record(int_record(b, 6, -1));
                record(int_array_record(b, 7, three));
                record(string_record(b, 8, lone, v.memory));
                EXPECT_EQ(v.encode(set), b.bytes);
                if (!v.memory) continue;

                kvs::serial::OutputBuffer out;
                ASSERT_TRUE(out.open());
                ASSERT_EQ(kvs::serial::write_block(out, kvs::serial::kMemoryVariant, kvs::registry_find(set)),
                          CT_errorOK);
                ASSERT_EQ(out.used(), b.bytes.size());
                EXPECT_EQ(Bytes(out.start(), out.start() + out.used()), b.bytes);
                std::size_t start = 17, crossing = 0;
                for (std::size_t end : ends) {
                    if (end > KVS_BUFFER_STEP) {
                        crossing = end - start;
                        break;
                    }
                    start = end;
                }
                EXPECT_EQ(out.capacity(), crossing == 0 ? KVS_BUFFER_STEP : 2 * KVS_BUFFER_STEP + crossing);
            }
        }
    }
}

}  // namespace
