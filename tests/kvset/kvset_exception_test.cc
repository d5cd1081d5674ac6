// KVSetException: action names, key naming, the message template, clone and
// copies that keep the dynamic type, the UTF-8 message.
#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

#include "kvset/KVSetException.h"
#include "kvset/ctkvs.h"

namespace {

TEST(KVSetException, CarriesCodeActionNameAndKeyName)
{
    struct Case {
        unsigned int action;
        const wchar_t *name;
    };
    const Case cases[] = {
        {0, L"CREATE"}, {1, L"SET"},   {2, L"GET"},     {3, L"DESTROY"},          {4, L"COPY"},
        {5, L"READ"},   {6, L"WRITE"}, {7, L"UNKNOWN"}, {0xFFFFFFFFu, L"UNKNOWN"}, {0x80000000u, L"UNKNOWN"},
    };
    for (const Case &c : cases) {
        KVSetException e(static_cast<KVSetException::Action>(c.action), MakeCall_LineDevice, CT_errorNoSuchKey);
        EXPECT_EQ(static_cast<unsigned int>(e.code()), CT_errorNoSuchKey);
        ASSERT_EQ(e.arguments().size(), 2u);
        EXPECT_EQ(e.arguments()[0], c.name) << c.action;
        EXPECT_EQ(e.arguments()[1], L"MakeCall_LineDevice");
    }
    // -1 converted to an Action is named like any other unknown value.
    KVSetException negative(static_cast<KVSetException::Action>(-1), 0, 0);
    EXPECT_EQ(negative.arguments()[0], L"UNKNOWN");
    // Key 0 is still named through the symbol library.
    EXPECT_EQ(negative.arguments()[1], L"0x00000000");
}

TEST(KVSetException, CodeTextIsTheTemplateFollowedByTheSymbolText)
{
    const KVSetException e(KVSetException::GET, 0x12345678u, CT_errorInvalidKVSet);
    EXPECT_EQ(e.convertCodeToString(static_cast<int>(CT_errorNoSuchKey)), L"Unable to $1 $2 - CT_errorNoSuchKey");
    EXPECT_EQ(e.convertCodeToString(0x0941106E), L"Unable to $1 $2 - 0x0941106E");
}

TEST(KVSetException, RendersTheMessageWithVerbKeyNameErrorTextAndDetail)
{
    KVSetException e(KVSetException::SET, MakeCall_OutboundOfferMedia, CT_errorOutOfRange);
    EXPECT_EQ(e.asString(), L"Unable to SET MakeCall_OutboundOfferMedia - CT_errorOutOfRange");
    e.with(std::wstring(L"Invalid media type"));
    EXPECT_EQ(e.asString(), L"Unable to SET MakeCall_OutboundOfferMedia - CT_errorOutOfRange: Invalid media type");
    const KVSetException unnamed(KVSetException::READ, 0, 0);
    EXPECT_EQ(unnamed.asString(), L"Unable to READ 0x00000000 - 0x00000000");
}

TEST(KVSetException, CloneCopiesCodeAndEveryArgumentAndKeepsTheType)
{
    KVSetException e(KVSetException::SET, MakeCall_CPA, CT_errorOutOfRange);
    e.with("Value less than allowed minimum");
    std::unique_ptr<CxException> cloned(e.clone());
    ASSERT_NE(dynamic_cast<KVSetException *>(cloned.get()), nullptr);
    EXPECT_EQ(cloned->code(), e.code());
    EXPECT_EQ(cloned->arguments(), (std::vector<std::wstring>{L"SET", L"MakeCall_CPA", L"Value less than allowed minimum"}));
    EXPECT_EQ(cloned->asString(), e.asString());  // rendered through this class's template
}

TEST(KVSetException, ThrownByValueIsCaughtThroughEveryBaseWithItsType)
{
    try {
        KVSetException local(KVSetException::GET, MakeCall_RTC, CT_errorNoSuchKey);
        local.with(std::wstring(L"detail"));
        throw local;
    } catch (const CxException &e) {
        const auto *kvs = dynamic_cast<const KVSetException *>(&e);
        ASSERT_NE(kvs, nullptr);
        EXPECT_EQ(e.asString(), L"Unable to GET MakeCall_RTC - CT_errorNoSuchKey: detail");
    }
    EXPECT_THROW(throw KVSetException(KVSetException::SET, 0, 0), CxS100Exception);
}

// message() is asString() in UTF-8, exact whatever the locale; what UTF-8
// cannot carry becomes U+FFFD (EF BF BD).
TEST(KVSetException, MessageIsTheRenderedTextInUtf8)
{
    struct Case {
        const char *what;
        std::wstring detail;
        std::string utf8;
    };
    const Case cases[] = {
        {"ASCII", L"plain", "plain"},
        {"two bytes", L"caf\u00E9", "caf\xC3\xA9"},
        {"three bytes", L"\u20AC\uFFFF", "\xE2\x82\xAC\xEF\xBF\xBF"},
        {"four bytes", L"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {"lone high surrogate", std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x", "\xEF\xBF\xBDx"},
        {"lone low surrogate", std::wstring(1, static_cast<wchar_t>(0xDFFF)), "\xEF\xBF\xBD"},
        {"above U+10FFFF", std::wstring(1, static_cast<wchar_t>(0x110000)), "\xEF\xBF\xBD"},
        {"negative wchar_t", std::wstring(1, static_cast<wchar_t>(-1)), "\xEF\xBF\xBD"},
    };
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");  // a locale that cannot convert any of it
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        KVSetException e(KVSetException::SET, MakeCall_OutboundOfferMedia, CT_errorOutOfRange);
        e.with(c.detail);
        EXPECT_EQ(e.message(), "Unable to SET MakeCall_OutboundOfferMedia - CT_errorOutOfRange: " + c.utf8);
    }
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(KVSetException(KVSetException::READ, 0, 0).message(), "Unable to READ 0x00000000 - 0x00000000");
}

}  // namespace
