// MRQKvs_AsText: the value texts, bounded appends, invalid handles, bad
// arguments; and how the diagnostics cope with a misbehaving naming service.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "diag/diag_internal.h"
#include "diag_support.h"
#include "kvset/ctkvs.h"

namespace {

using diagtest::DeadHandle;

using diagtest::Hex8;
using diagtest::PutRaw;

constexpr wchar_t kSentinel = L'#';

// Runs MRQKvs_AsText on a buffer of `size` characters holding `entry`,
// followed by a few sentinel characters that must stay untouched.
std::wstring RenderText(CTkvs kvs, std::int32_t size, const std::wstring &entry, const wchar_t *prefix)
{
    std::vector<wchar_t> buffer(static_cast<std::size_t>(size) + 4, kSentinel);
    std::wmemcpy(buffer.data(), entry.c_str(), entry.size() + 1);
    MRQKvs_AsText(kvs, buffer.data(), size, prefix);
    for (std::size_t i = static_cast<std::size_t>(size); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], kSentinel) << "written past the buffer at " << i;
    return std::wstring(buffer.data());
}

class AsText : public kvs::test::KvsTest {};

TEST_F(AsText, RendersSupportedTypesAndNamesTheOthers)
{
    const CTkvs nested = make_set();
    const CTkvs s = make_set();
    PUT_OK(CTkvs_PutInt(s, MakeCall_LineDevice, -7, &e));
    PUT_OK(CTkvs_PutBool(s, 2, 2, &e));
    PUT_OK(CTkvs_PutBool(s, 3, 0, &e));
    PUT_OK(CTkvs_PutUint(s, 4, 4294967295u, &e));
    PUT_OK(CTkvs_PutInt(s, 5, static_cast<int32_t>(0xFFFFFFFFu), &e));
    PUT_OK(CTkvs_PutSymbol(s, 6, CT_errorNoSuchKey, &e));
    PUT_OK(CTkvs_PutError(s, 7, CT_errorFileOpen, &e));  // stored as a symbol
    PutRaw(s, 8, KV_TYPE_ERROR, CT_errorFileOpen);
    PUT_OK(CTkvs_PutString(s, 9, L"hi there", &e));
    PUT_OK(CTkvs_PutString(s, 10, static_cast<const wchar_t *>(nullptr), &e));
    PUT_OK(CTkvs_PutChar(s, 11, u'x', &e));
    PUT_OK(CTkvs_PutKVS(s, 12, nested, &e));
    const int32_t ints[] = {1};
    PUT_OK(CTkvs_PutIntArray(s, 13, ints, 1, &e));
    PutRaw(s, 14, 99, 0);

    EXPECT_EQ(RenderText(s, 1024, L"start\n", L"> "),
              L"start\n"
              L"> MakeCall_LineDevice = -7 ;\n"
              L"> 0x00000002 = CT_boolTrue ;\n"
              L"> 0x00000003 = CT_boolFalse ;\n"
              L"> 0x00000004 = 4294967295 ;\n"
              L"> 0x00000005 = -1 ;\n"
              L"> 0x00000006 = CT_errorNoSuchKey ;\n"
              L"> 0x00000007 = CT_errorFileOpen ;\n"
              L"> 0x00000008 = Unsupported Type 0x0000001B ;\n"
              L"> 0x00000009 = hi there ;\n"
              L"> 0x0000000A = (null) ;\n"
              L"> 0x0000000B = Unsupported Type 0x0000001A ;\n"
              L"> 0x0000000C = Unsupported Type 0x0000003D ;\n"
              L"> 0x0000000D = Unsupported Type 0x0000006A ;\n"
              L"> 0x0000000E = Unsupported Type 0x00000063 ;\n");
    // An empty set appends nothing; a null prefix counts as empty.
    EXPECT_EQ(RenderText(nested, 64, L"kept", L""), L"kept");
    PUT_OK(CTkvs_PutInt(nested, 1, 0, &e));
    EXPECT_EQ(RenderText(nested, 64, L"", nullptr), L"0x00000001 = 0 ;\n");
}

TEST_F(AsText, AppendsAreCutWhereTheBufferIsFull)
{
    const CTkvs s = make_set();
    PUT_OK(CTkvs_PutInt(s, 1, 10, &e));
    PUT_OK(CTkvs_PutInt(s, 2, 20, &e));
    const std::wstring line1 = L"0x00000001 = 10 ;\n";  // 18 characters
    const std::wstring line2 = L"0x00000002 = 20 ;\n";
    struct Case {
        std::int32_t size;
        std::wstring entry;
        std::wstring expected;
    };
    const Case cases[] = {
        {1, L"", L""},
        {18, L"", L"0x00000001 = 10 ;"},
        {19, L"", line1},
        {25, L"", line1 + L"0x0000"},
        {37, L"", line1 + line2},
        {100, L"", line1 + line2},
        {10, L"abcdefghi", L"abcdefghi"},
        {12, L"ab", L"ab0x0000000"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RenderText(s, c.size, c.entry, L""), c.expected) << "size " << c.size;
}

TEST_F(AsText, InvalidHandleAppendsOnlyTheMarker)
{
    const CTkvs broken = make_set();
    PUT_OK(CTkvs_PutInt(broken, 1, 1, &e));
    kvs::KVSetHeader *header = kvs::registry_find(broken);
    ASSERT_NE(header, nullptr);
    header->signature[0] = 'X';
    const CTkvs dead = DeadHandle();
    EXPECT_EQ(RenderText(dead, 100, L"", L"> "), L"Invalid KV-Set");
    EXPECT_EQ(RenderText(dead, 8, L"", L"> "), L"Invalid");
    EXPECT_EQ(RenderText(broken, 100, L"x", L"> "), L"xInvalid KV-Set");
    header->signature[0] = 'K';
}

TEST_F(AsText, BadBuffersAreLeftAloneOrCutSafely)
{
    const CTkvs s = make_set();
    PUT_OK(CTkvs_PutInt(s, 1, 10, &e));
    MRQKvs_AsText(s, nullptr, 100, L"");  // nothing to write into
    wchar_t untouched[4] = {L'a', L'b', L'c', L'\0'};
    MRQKvs_AsText(s, untouched, 0, L"");
    MRQKvs_AsText(s, untouched, -5, L"");
    EXPECT_STREQ(untouched, L"abc");
    // A buffer that arrives without a terminator is cut, not read past.
    struct {
        wchar_t text[4];
        wchar_t guard[2];
    } unterminated = {{L'a', L'b', L'c', L'd'}, {kSentinel, kSentinel}};
    MRQKvs_AsText(s, unterminated.text, 4, L"");
    EXPECT_STREQ(unterminated.text, L"abc");
    EXPECT_EQ(unterminated.guard[0], kSentinel);
}

// ---- A naming service that misbehaves ------------------------------------

// Writes `name` into the caller's buffer within *capacity.
std::uint32_t WriteName(const std::wstring &name, wchar_t **buffer, std::uint32_t *capacity)
{
    const std::size_t n = name.size() < *capacity ? name.size() : *capacity;
    std::wmemcpy(*buffer, name.data(), n);
    (*buffer)[n] = L'\0';
    return 0;
}

// Names odd symbols; fails on even ones without writing anything.
std::uint32_t FailsOnEven(std::uint32_t, std::uint32_t symbol, wchar_t **name, std::uint32_t *capacity,
                          std::uint32_t *)
{
    if (symbol % 2 == 0) return 3;
    return WriteName(L"odd", name, capacity);
}

// Reports each name's full length back through the capacity: symbol 1 is
// "k", any other a 200-letter name.
std::uint32_t ReportsLength(std::uint32_t, std::uint32_t symbol, wchar_t **name, std::uint32_t *capacity,
                            std::uint32_t *)
{
    const std::wstring text = symbol == 1 ? L"k" : std::wstring(200, static_cast<wchar_t>(L'a' + symbol % 26));
    WriteName(text, name, capacity);
    *capacity = static_cast<std::uint32_t>(text.size());
    return 0;
}

// Points the caller at a name of its own.
std::uint32_t OwnStorage(std::uint32_t, std::uint32_t, wchar_t **name, std::uint32_t *, std::uint32_t *)
{
    static const wchar_t kTheirs[] = L"theirs";
    *name = const_cast<wchar_t *>(kTheirs);
    return 0;
}

class Naming : public kvs::test::KvsTest {
protected:
    void TearDown() override
    {
        kvs::diag::test::set_symbol_namer(nullptr);
        KvsTest::TearDown();
    }
};

TEST_F(Naming, FailedLookupShowsAnEmptyNameNotTheLastOne)
{
    const CTkvs s = make_set();
    PUT_OK(CTkvs_PutSymbol(s, 1, 2, &e));
    PUT_OK(CTkvs_PutSymbol(s, 4, 3, &e));
    kvs::diag::test::set_symbol_namer(&FailsOnEven);
    EXPECT_EQ(RenderText(s, 100, L"", L""), L"odd =  ;\n = odd ;\n");
}

TEST_F(Naming, EveryLookupGetsTheFullCapacityAndNoMore)
{
    const CTkvs s = make_set();
    PUT_OK(CTkvs_PutSymbol(s, 1, 2, &e));
    PUT_OK(CTkvs_PutSymbol(s, 3, 1, &e));
    const CTsymbol symbols[] = {1, 2, 3};
    PUT_OK(CTkvs_PutSymbolArray(s, 1, symbols, 3, &e));  // replaces key 1's symbol in place
    kvs::diag::test::set_symbol_namer(&ReportsLength);
    const std::wstring c(127, L'c');
    const std::wstring d(127, L'd');
    EXPECT_EQ(RenderText(s, 1024, L"", L""), L"k = Unsupported Type " + std::wstring(127, L'l') + L" ;\n" + d +
                                             L" = k ;\n");

    kvs::diag::GrowSink sink;
    kvs::diag::render_display(s, sink);
    const std::wstring shown(sink.data(), sink.size());
    EXPECT_NE(shown.find(L"\n Key = k\tType = CTsymbol[][3] \tValue = k   " + c + L"   " + d + L"   \n"),
              std::wstring::npos)
        << diagtest::Narrow(shown);
}

TEST_F(Naming, NameInTheServicesOwnStorageIsRead)
{
    const CTkvs s = make_set();
    PUT_OK(CTkvs_PutSymbol(s, 1, 2, &e));
    kvs::diag::test::set_symbol_namer(&OwnStorage);
    EXPECT_EQ(RenderText(s, 100, L"", L""), L"theirs = theirs ;\n");
}

}  // namespace
