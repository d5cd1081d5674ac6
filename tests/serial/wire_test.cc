// The one UTF-16 transcoder: its unit writer and joiner case by case, and
// long strings through every reader of a block (memory, file, a stream that
// cannot tell its length, the strict validator), which share it.
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "kvset/inspect.h"
#include "serial/utf16.h"
#include "support/blocks.h"
#include "support/fixture.h"

namespace {

using namespace kvs::test;
using Units = std::vector<std::uint32_t>;

Units units_of(const std::wstring &text)
{
    Units units;
    kvs::serial::write_utf16(text.c_str(), [&units](std::uint32_t u) {
        units.push_back(u);
        return true;
    });
    return units;
}

std::wstring joined(const Units &units)
{
    std::wstring text;
    kvs::serial::Utf16Joiner joiner;
    auto emit = [&text](std::uint32_t c) { text.push_back(static_cast<wchar_t>(c)); };
    for (std::uint32_t u : units) joiner.push(u, emit);
    joiner.finish(emit);
    return text;
}

TEST(Utf16, WritesUnitsAndJoinsThemBack)
{
    struct Case {
        const char *what;
        std::wstring text;
        Units units;      // terminator included
        std::wstring back;  // the units joined, terminator dropped
    };
    const std::wstring high{static_cast<wchar_t>(0xD800)}, low{static_cast<wchar_t>(0xDC01)};
    const Case cases[] = {
        {"empty", L"", {0}, L""},
        {"basic plane", L"a\u00E9\uFFFF", {'a', 0xE9, 0xFFFF, 0}, L"a\u00E9\uFFFF"},
        {"pair", L"\U0001F600", {0xD83D, 0xDE00, 0}, L"\U0001F600"},
        {"last code point", L"\U0010FFFF", {0xDBFF, 0xDFFF, 0}, L"\U0010FFFF"},
        {"beyond U+10FFFF", std::wstring{static_cast<wchar_t>(0x110000)}, {0xFFFD, 0}, L"\uFFFD"},
        {"negative", std::wstring{static_cast<wchar_t>(-1)}, {0xFFFD, 0}, L"\uFFFD"},
        {"lone high, then a character", high + L"x", {0xD800, 'x', 0}, high + L"x"},
        {"lone low", low + L"y", {0xDC01, 'y', 0}, low + L"y"},
        {"high, then a pair", high + L"\U00010000", {0xD800, 0xD800, 0xDC00, 0}, high + L"\U00010000"},
        {"high at the end", L"z" + high, {'z', 0xD800, 0}, L"z" + high},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(units_of(c.text), c.units);
        EXPECT_EQ(kvs::serial::utf16_units(c.text.c_str()), c.units.size());
        Units body(c.units.begin(), c.units.end() - 1);
        EXPECT_EQ(joined(body), c.back);
    }
}

// A record larger than the 256 units staged at a time, with surrogate pairs
// on both sides of each chunk boundary and a lone high surrogate at the end.
std::wstring long_text()
{
    std::wstring text(255, L'a');
    for (int i = 0; i < 300; ++i) text += i % 3 == 0 ? std::wstring(L"\U0001F600") : std::wstring(1, L'b');
    text += static_cast<wchar_t>(0xDBFF);
    return text;
}

class WireStrings : public KvsTest {};

TEST_F(WireStrings, LongStringsReadAlikeOnEveryPath)
{
    const std::wstring text = long_text();
    Set set;
    CTerror e = 0;
    ASSERT_EQ(CTkvs_PutString(set, 7, text.c_str(), &e), CT_statusOK);
    const wchar_t *array[] = {text.c_str(), L"", nullptr, L"\U0001F600"};
    ASSERT_EQ(CTkvs_PutStringArray(set, 8, array, 4, &e), CT_statusOK);

    const Bytes memory = memory_block(set), file = file_block(set);
    // The same units in both variants: the memory record only adds its width byte.
    const Units units = units_of(text);
    Builder record;
    record.pair(KV_TYPE_STRING, 7, 1).u32(static_cast<std::uint32_t>(units.size()));
    for (std::uint32_t u : units) record.u32(u);
    const Bytes fileRecord = record.bytes;
    ASSERT_GE(file.size(), 17 + fileRecord.size());
    EXPECT_EQ(Bytes(file.begin() + 17, file.begin() + 17 + fileRecord.size()), fileRecord);
    Bytes memoryRecord = fileRecord;
    memoryRecord.insert(memoryRecord.begin() + 12, 4);
    ASSERT_GE(memory.size(), 17 + memoryRecord.size());
    EXPECT_EQ(Bytes(memory.begin() + 17, memory.begin() + 17 + memoryRecord.size()), memoryRecord);

    struct Path {
        const char *name;
        Result (*read)(CTkvs, const Bytes &);
        const Bytes &bytes;
    };
    const Path paths[] = {{"memory", read_memory, memory}, {"file", read_file, file}, {"pipe", read_pipe, file}};
    for (const Path &p : paths) {
        SCOPED_TRACE(p.name);
        Set back;
        Result r = p.read(back, p.bytes);
        EXPECT_EQ(r.status, CT_statusOK);
        EXPECT_TRUE(sets_match(set, back));
    }
    for (kvset::BlockFormat format : {kvset::BlockFormat::Memory, kvset::BlockFormat::File}) {
        const Bytes &bytes = format == kvset::BlockFormat::Memory ? memory : file;
        CTkvs back = 0;
        kvset::BlockInfo info;
        kvset::BlockFault fault;
        // Strict: the lone surrogate at the end is a unit like any other.
        ASSERT_TRUE(kvset::readBlock(bytes.data(), bytes.size(), format, &back, &info, &fault)) << fault.reason;
        EXPECT_TRUE(sets_match(set, back));
        CTkvs_Destroy(back, &e);
    }
}

}  // namespace
