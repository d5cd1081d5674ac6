// The stand-ins for the exception and symbol libraries.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kvset/CxS100Exception.h"
#include "kvset/ctkvs.h"
#include "kvset/ctsym.h"

namespace {

// A code text with placeholders, as derived exception classes provide.
class TemplateException : public CxException {
public:
    explicit TemplateException(std::wstring text) : CxException(7), text_(std::move(text)) {}
    std::wstring convertCodeToString(int) const override { return text_; }
    CxException *clone() const override { return new TemplateException(*this); }

private:
    std::wstring text_;
};

TEST(CxException, RendersPlaceholdersInOrderAndAppendsTheRest)
{
    struct Case {
        std::wstring text;
        std::vector<std::wstring> args;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"Unable to $1 $2 - X", {L"GET", L"K"}, L"Unable to GET K - X"},
        {L"$2 before $1", {L"a", L"b"}, L"b before a"},
        {L"Unable to $1 $2 - X", {L"SET", L"K", L"Invalid media type"}, L"Unable to SET K - X: Invalid media type"},
        {L"no placeholders", {L"a", L"b"}, L"no placeholders: a: b"},
        {L"$3 unfilled, $ alone, $x", {L"a"}, L"$3 unfilled, $ alone, $x: a"},
        {L"$1$1", {L"ab"}, L"abab"},
    };
    for (const Case &c : cases) {
        TemplateException e(c.text);
        for (const auto &a : c.args) e.with(a);
        EXPECT_EQ(e.asString(), c.expected) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(CxException, NarrowArgumentsAreWidenedAndCopiesAreComplete)
{
    CxS100Exception e(static_cast<int>(CT_errorNoSuchKey), L"", L"", L"");
    e.with(L"GET").with("Null Connect Mask");
    ASSERT_EQ(e.arguments().size(), 2u);
    EXPECT_EQ(e.arguments()[1], L"Null Connect Mask");

    CxS100Exception copy(e);
    EXPECT_EQ(copy.code(), e.code());
    EXPECT_EQ(copy.arguments(), e.arguments());

    CxS100Exception filled;
    filled.deepCopy(e);
    EXPECT_EQ(filled.arguments(), e.arguments());
    EXPECT_EQ(filled.asString(), L"CT_errorNoSuchKey: GET: Null Connect Mask");

    std::unique_ptr<CxException> cloned(e.clone());  // deleted through the base
    EXPECT_NE(dynamic_cast<CxS100Exception *>(cloned.get()), nullptr);
    EXPECT_EQ(cloned->asString(), e.asString());
}

TEST(CxS100Exception, NamesSymbolsAndContextStrings)
{
    CxS100Exception e(0, L"ctx", L"", L"more");
    EXPECT_EQ(e.convertCodeToString(static_cast<int>(MakeCall_LineDevice)), L"MakeCall_LineDevice");
    EXPECT_EQ(e.convertCodeToString(0x0941106E), L"0x0941106E");
    EXPECT_EQ(e.arguments(), (std::vector<std::wstring>{L"ctx", L"more"}));
}

TEST(SymbolToName, WritesIntoTheCallersBufferWithinCapacity)
{
    struct Case {
        uint32_t symbol;
        uint32_t capacity;
        const wchar_t *expected;
    };
    const Case cases[] = {
        {CT_errorInvalidKVSet, 127, L"CT_errorInvalidKVSet"},
        {CT_keyFirst, 127, L"CT_keyFirst"},
        {KVS_HANDLE_RESERVED, 127, L"KVS_HANDLE_RESERVED"},
        {MRQ_keyTimeStampMsec, 127, L"MRQ_keyTimeStampMsec"},
        {MakeCall_OutboundAcceptMedia, 127, L"MakeCall_OutboundAcceptMedia"},
        {0, 127, L"0x00000000"},
        {0xDEADBEEF, 127, L"0xDEADBEEF"},
        {CT_errorNoSuchKey, 8, L"CT_error"},
        {CT_errorNoSuchKey, 0, L""},
    };
    for (const Case &c : cases) {
        wchar_t buffer[128];
        std::wmemset(buffer, L'#', 128);
        wchar_t *name = buffer;
        uint32_t capacity = c.capacity;
        uint32_t error = 0;
        EXPECT_EQ(CTsym_SymbolToName(0, c.symbol, &name, &capacity, &error), 0u);
        EXPECT_EQ(name, buffer);
        EXPECT_EQ(error, CT_errorOK);
        EXPECT_STREQ(buffer, c.expected);
        EXPECT_EQ(buffer[std::wcslen(c.expected) + 1], L'#') << "nothing written past the terminator";
    }
}

TEST(SymbolToName, RefusesNullReferences)
{
    uint32_t capacity = 10;
    uint32_t error = 0;
    wchar_t *none = nullptr;
    EXPECT_EQ(CTsym_SymbolToName(0, 1, &none, &capacity, &error), 3u);
    EXPECT_EQ(error, CT_errorBadParameter);
    EXPECT_EQ(CTsym_SymbolToName(0, 1, nullptr, &capacity, nullptr), 3u);
}

TEST(NameToSymbol, ReversesTheNamesOfKnownSymbolsOnly)
{
    const uint32_t known[] = {CT_errorOK, CT_errorNoMemory, CT_keyFirst, MRQ_keyTimeStampSec, MakeCall_LineDevice,
                              MakeCall_RTC, MakeCall_OutboundAcceptMedia};
    for (uint32_t symbol : known) {
        wchar_t buffer[128];
        wchar_t *name = buffer;
        uint32_t capacity = 127;
        uint32_t error = 0;
        ASSERT_EQ(CTsym_SymbolToName(0, symbol, &name, &capacity, &error), 0u);
        uint32_t back = 0;
        EXPECT_EQ(CTsym_NameToSymbol(0, buffer, &back, &error), 0u);
        EXPECT_EQ(error, CT_errorOK);
        EXPECT_EQ(back, symbol);
    }
    for (const wchar_t *unknown : {L"", L"0x0941106D", L"MakeCall_LineDevic", L"makecall_linedevice", L"CT_errorOK "}) {
        uint32_t back = 0xDEADBEEF;
        uint32_t error = 0;
        EXPECT_EQ(CTsym_NameToSymbol(0, unknown, &back, &error), 1u);
        EXPECT_EQ(error, CT_errorNoSuchKey);
        EXPECT_EQ(back, 0xDEADBEEFu);
    }
    uint32_t back = 0;
    uint32_t error = 0;
    EXPECT_EQ(CTsym_NameToSymbol(0, nullptr, &back, &error), 3u);
    EXPECT_EQ(error, CT_errorBadParameter);
    EXPECT_EQ(CTsym_NameToSymbol(0, L"CT_errorOK", nullptr, nullptr), 3u);
}

}  // namespace
