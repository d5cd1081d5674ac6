// mrqMakeCallOptionaArgs: defaults, string options, masks, CPA, media
// preferences, validation, RTC, copy from a handle, copies and assignment.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kvset/kvset_support.h"
#include "kvset/mrqMakeCallOptionaArgs.h"

namespace {

using objtest::capture;
using objtest::expect_thrown;

class MakeCallOptionsTest : public kvs::test::KvsTest {};

using Symbols = std::vector<unsigned int>;

unsigned long handle_of(const KVSet &k) { return k; }

// The keys of a KV-Set in list order.
Symbols keys_of(unsigned long kvs)
{
    Symbols keys;
    CTsymbol cursor = CT_keyFirst;
    CTsymbol key = 0;
    uint32_t type = 0;
    int32_t count = 0;
    CTerror e = 0;
    while (CTkvs_GetNext(static_cast<CTkvs>(kvs), &cursor, &key, &type, &count, &e) == CT_statusOK) keys.push_back(key);
    return keys;
}

Symbols symbol_array(unsigned long kvs, unsigned int key)
{
    CTsymbol *elements = nullptr;
    int32_t count = 0;
    CTerror e = 0;
    if (CTkvs_GetSymbolArray(static_cast<CTkvs>(kvs), key, &elements, &count, &e) != CT_statusOK) return {};
    return Symbols(elements, elements + count);
}

Symbols offer_of(mrqMakeCallOptionaArgs &o)
{
    unsigned int *symbols = nullptr;
    int count = -1;
    o.getOutbondOfferMedia(&symbols, &count);
    return Symbols(symbols, symbols + count);
}

Symbols accept_of(mrqMakeCallOptionaArgs &o)
{
    unsigned int *symbols = nullptr;
    int count = -1;
    o.getOutboundAcceptMedia(&symbols, &count);
    return Symbols(symbols, symbols + count);
}

// A deep copy of a KV-Set, owned by the returned object.
KVSet snapshot_of(unsigned long kvs)
{
    const KVSet view(kvs, false);
    return KVSet(view);
}

// Deep equality of two KV-Sets, nested sets included.
bool same_content(unsigned long a, unsigned long b)
{
    uint32_t result = 0;
    CTerror e = 0;
    return CTkvs_Match(static_cast<CTkvs>(a), static_cast<CTkvs>(b), &result, &e) == CT_statusOK && result == 1;
}

std::wstring detail_of(const objtest::Caught &c) { return c.arguments.size() > 2 ? c.arguments[2] : L"(none)"; }

// The mask and CPA tables, written out.
const Symbols kConnectSymbols = {0x2446206D, 0x2486206D, 0x0206206D, 0x0246206D, 0x0386206D, 0x03C6206D,
                                 0x0406206D, 0x0106206D, 0x0286206D, 0x0446206D, 0x24C6206D};
const Symbols kConnectDefaultSet = {0x0206206D, 0x0246206D, 0x0106206D, 0x0286206D, 0x0446206D};
const Symbols kDisconnectSymbols = {0x0206206D, 0x0246206D, 0x0386206D, 0x03C6206D, 0x0406206D,
                                    0x0106206D, 0x0286206D, 0x0446206D, 0x24C6206D, 0x00C6206D,
                                    0x0146206D, 0x2506206D, 0x2246206D, 0x2286206D, 0x22C6206D};
const Symbols kDisconnectDefaultSet = {0x0386206D, 0x03C6206D, 0x0406206D, 0x24C6206D, 0x00C6206D,
                                       0x0146206D, 0x2506206D, 0x2246206D, 0x2286206D, 0x22C6206D};
struct Cpa {
    unsigned int symbol;
    int value;
};
const Cpa kCpaDefaults[] = {{0x0546106D, 64},   {0x0586106D, 25},   {0x05C6106D, 100}, {0x0286106D, 1000},
                            {0x02C6106D, 3500}, {0x0306106D, 3500}, {0x0346106D, 5},   {0x0386106D, 5000},
                            {0x03C6106D, 1500}, {0x0406106D, 3},    {0x0446106D, 700}, {0x0486106D, 10000}};

bool contains(const Symbols &set, unsigned int s)
{
    for (unsigned int x : set)
        if (x == s) return true;
    return false;
}

TEST_F(MakeCallOptionsTest, FreshObjectHoldsEveryDefaultAndValidates)
{
    mrqMakeCallOptionaArgs o;
    const unsigned long options = o;
    EXPECT_EQ(keys_of(options), (Symbols{MakeCall_RTC, MakeCall_ConnectMask, MakeCall_DisconnectMask, MakeCall_CPA,
                                         MakeCall_OutboundOfferMedia, MakeCall_OutboundAcceptMedia}));
    EXPECT_NO_THROW(o.validate());

    const unsigned long rtc = o.getRTC(0);
    EXPECT_EQ(keys_of(rtc), (Symbols{0x1B80706D, 0x00070070}));
    EXPECT_EQ(symbol_array(rtc, 0x1B80706D), Symbols{0x00100020});
    EXPECT_EQ(symbol_array(rtc, 0x00070070), Symbols{0x00160020});

    EXPECT_EQ(keys_of(o.getConnectMask()), kConnectSymbols);
    for (unsigned int s : kConnectSymbols) EXPECT_EQ(o.getConnectMask(s), contains(kConnectDefaultSet, s)) << s;
    EXPECT_EQ(keys_of(o.getDisconnectMask()), kDisconnectSymbols);
    for (unsigned int s : kDisconnectSymbols)
        EXPECT_EQ(o.getDisconnectMask(s), contains(kDisconnectDefaultSet, s)) << s;

    const KVSet storedCpa(o.getCPA(), false);
    Symbols cpaKeys;
    for (const Cpa &c : kCpaDefaults) {
        EXPECT_EQ(o.getCPA(c.symbol), c.value);
        EXPECT_EQ(storedCpa.getInt(c.symbol), c.value);
        cpaKeys.push_back(c.symbol);
    }
    EXPECT_EQ(keys_of(o.getCPA()), cpaKeys);

    EXPECT_EQ(offer_of(o), (Symbols{0x18C0706D, 0x1880706D}));
    EXPECT_EQ(symbol_array(options, MakeCall_OutboundOfferMedia), (Symbols{0x18C0706D, 0x1880706D}));
    EXPECT_EQ(accept_of(o), (Symbols{0x1B00706D, 0x18C0706D, 0x1880706D}));
    EXPECT_EQ(symbol_array(options, MakeCall_OutboundAcceptMedia), (Symbols{0x1B00706D, 0x18C0706D, 0x1880706D}));
}

TEST_F(MakeCallOptionsTest, StringOptionsAreStoredUnderTheirKeys)
{
    struct Option {
        const char *name;
        void (mrqMakeCallOptionaArgs::*setWide)(wchar_t *);
        void (mrqMakeCallOptionaArgs::*setNarrow)(const char *);
        void (mrqMakeCallOptionaArgs::*get)(wchar_t **) const;
        unsigned int key;
    };
    using M = mrqMakeCallOptionaArgs;
    const Option table[] = {
        {"LineDevice", &M::setLineDevice, &M::setLineDevice, &M::getLineDevice, MakeCall_LineDevice},
        {"OutboundProxy", &M::setOutboundProxy, &M::setOutboundProxy, &M::getOutboundProxy, MakeCall_OutboundProxy},
        {"CallingNumber", &M::setCallingNumber, &M::setCallingNumber, &M::getCallingNumber, MakeCall_CallingNumber},
        {"AuthUserName", &M::setAuthUserName, &M::setAuthUserName, &M::getAuthUserName, MakeCall_AuthUserName},
        {"AuthPassword", &M::setAuthPassword, &M::setAuthPassword, &M::getAuthPassword, MakeCall_AuthPassword},
        {"FaxMediaFeatureTag", &M::setFaxMediaFeatureTag, &M::setFaxMediaFeatureTag, &M::getFaxMediaFeatureTag,
         MakeCall_FaxMediaFeatureTag},
        {"PassertID", &M::setPassertID, &M::setPassertID, &M::getPassertID, MakeCall_PassertID},
    };
    mrqMakeCallOptionaArgs o;
    const unsigned long options = o;
    for (const Option &opt : table) {
        SCOPED_TRACE(opt.name);
        wchar_t *value = nullptr;
        expect_thrown(capture([&] { (o.*opt.get)(&value); }), L"GET", opt.key, CT_errorNoSuchKey);

        (o.*opt.setNarrow)("0123456789");
        (o.*opt.get)(&value);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value, L"0123456789");

        wchar_t wide[] = L"sip:proxy@example.net";
        (o.*opt.setWide)(wide);
        (o.*opt.get)(&value);
        EXPECT_STREQ(value, L"sip:proxy@example.net");
        wchar_t *stored = nullptr;
        CTerror e = 0;
        ASSERT_EQ(CTkvs_GetString(static_cast<CTkvs>(options), opt.key, &stored, &e), CT_statusOK);
        EXPECT_EQ(value, stored) << "the getter lends the stored string";
    }
    EXPECT_EQ(keys_of(options).size(), 6u + 7u);
    EXPECT_NO_THROW(o.validate()) << "string options are not validated";
}

TEST_F(MakeCallOptionsTest, SymbolsOutsideTheTablesAreRefusedAndChangeNothing)
{
    mrqMakeCallOptionaArgs o;
    const KVSet before = snapshot_of(o);
    struct Case {
        const char *what;
        std::function<void()> call;
        const wchar_t *action;
        unsigned int symbol;
    };
    const Case cases[] = {
        {"disconnect-only symbol in the connect mask", [&] { o.setConnectMask(0x00C6206D); }, L"SET", 0x00C6206D},
        {"clear connect, disconnect-only", [&] { o.clearConnectMask(0x2506206D); }, L"SET", 0x2506206D},
        {"connect-only symbol in the disconnect mask", [&] { o.setDisconnectMask(0x2446206D); }, L"SET", 0x2446206D},
        {"clear disconnect, connect-only", [&] { o.clearDisconnectMask(0x2486206D); }, L"SET", 0x2486206D},
        {"unknown mask symbol", [&] { o.setConnectMask(0x12345678); }, L"SET", 0x12345678},
        {"get connect, disconnect-only", [&] { o.getConnectMask(0x00C6206D); }, L"GET", 0x00C6206D},
        {"get disconnect, connect-only", [&] { o.getDisconnectMask(0x2486206D); }, L"GET", 0x2486206D},
        {"unknown CPA symbol", [&] { o.setCPA(0x12345678, 1); }, L"SET", 0x12345678},
        {"mask symbol as CPA", [&] { o.setCPA(0x0206206D, 1); }, L"SET", 0x0206206D},
        {"CPA get of a non-parameter", [&] { o.getCPA(0x12345678); }, L"GET", 0x12345678},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        expect_thrown(capture(c.call), c.action, c.symbol, CT_errorNoSuchKey);
        EXPECT_TRUE(same_content(handle_of(before), o));
    }
}

TEST_F(MakeCallOptionsTest, ValidateFindsMasksSetTwiceOrEmpty)
{
    mrqMakeCallOptionaArgs o;
    o.setConnectMask(0x0206206D);
    o.setDisconnectMask(0x0206206D);
    EXPECT_TRUE(o.getConnectMask(0x0206206D));
    auto c = capture([&] { o.validate(); });
    expect_thrown(c, L"SET", 0x0206206D, CT_errorOutOfRange);
    EXPECT_EQ(detail_of(c), L"Both Connect and Disconnect Masks Set");
    o.clearConnectMask(0x0206206D);
    EXPECT_NO_THROW(o.validate());
    o.clearDisconnectMask(0x0206206D);

    for (unsigned int s : kConnectDefaultSet) o.clearConnectMask(s);
    c = capture([&] { o.validate(); });
    expect_thrown(c, L"SET", MakeCall_ConnectMask, CT_errorOutOfRange);
    EXPECT_EQ(detail_of(c), L"Null Connect Mask");

    o.setDefaultConnectMask();
    EXPECT_NO_THROW(o.validate());
    for (unsigned int s : kDisconnectDefaultSet) o.clearDisconnectMask(s);
    c = capture([&] { o.validate(); });
    expect_thrown(c, L"SET", MakeCall_DisconnectMask, CT_errorOutOfRange);
    EXPECT_EQ(detail_of(c), L"Null Disconnect Mask");
}

TEST_F(MakeCallOptionsTest, ValidateChecksEveryCpaValueAgainstItsBounds)
{
    struct Case {
        unsigned int symbol;
        int value;
        const wchar_t *detail;  // null: passes
    };
    const Case cases[] = {
        {0x0546106D, 31, L"Value less than allowed minimum"},
        {0x0546106D, 32, nullptr},
        {0x0546106D, 96, nullptr},
        {0x0546106D, 97, L"Value greater than allowed maximum"},
        {0x0486106D, 20000, L"Value greater than allowed maximum"},
        {0x05C6106D, 99, L"Value less than allowed minimum"},
        {0x0346106D, -1, L"Value less than allowed minimum"},
        {0x0346106D, 15, nullptr},
    };
    mrqMakeCallOptionaArgs o;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.symbol << " = " << std::dec << c.value);
        o.setCPA(c.symbol, c.value);  // accepted whatever the value
        EXPECT_EQ(o.getCPA(c.symbol), c.value);
        EXPECT_EQ(KVSet(o.getCPA(), false).getInt(c.symbol), c.value);
        const auto thrown = capture([&] { o.validate(); });
        if (c.detail == nullptr) {
            EXPECT_FALSE(thrown.thrown) << objtest::narrow(thrown.message);
        } else {
            expect_thrown(thrown, L"SET", c.symbol, CT_errorOutOfRange);
            EXPECT_EQ(detail_of(thrown), c.detail);
        }
        o.setDefaultCPA();
    }
}

TEST_F(MakeCallOptionsTest, MediaPreferencesAreCheckedWhole)
{
    const Symbols offerDefault = {0x18C0706D, 0x1880706D};
    const Symbols acceptDefault = {0x1B00706D, 0x18C0706D, 0x1880706D};
    struct Case {
        const char *what;
        bool accept;
        Symbols symbols;
        int count;
        const wchar_t *detail;  // null: accepted
    };
    const Case cases[] = {
        {"offer-only symbol offered", false, {0x23C0706D}, 1, nullptr},
        {"offer-only symbol accepted", true, {0x23C0706D}, 1, L"Invalid media type"},
        {"0x0706206D accepted", true, {0x0706206D}, 1, L"Invalid media type"},
        {"three accepted", true, {0x2380706D, 0x2340706D, 0x1B00706D}, 3, nullptr},
        {"four offered", false, {0x1880706D, 0x18C0706D, 0x1B00706D, 0x2340706D}, 4, L"A maximum of three media types allowed"},
        {"none offered", false, {0x1880706D}, 0, L"A minimum of one media type required"},
        {"negative count", true, {0x1880706D}, -1, L"A minimum of one media type required"},
        {"invalid after a valid one", false, {0x1880706D, 0x0206206D}, 2, L"Invalid media type"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        mrqMakeCallOptionaArgs o;
        Symbols input = c.symbols;
        const unsigned int key = c.accept ? MakeCall_OutboundAcceptMedia : MakeCall_OutboundOfferMedia;
        const auto thrown = capture([&] {
            if (c.accept)
                o.setOutboundAcceptMedia(input.data(), c.count);
            else
                o.setOutboundOfferMedia(input.data(), c.count);
        });
        const Symbols before = c.accept ? acceptDefault : offerDefault;
        const Symbols now = c.accept ? accept_of(o) : offer_of(o);
        if (c.detail == nullptr) {
            EXPECT_FALSE(thrown.thrown) << objtest::narrow(thrown.message);
            EXPECT_EQ(now, c.symbols);
            EXPECT_EQ(symbol_array(o, key), c.symbols);
        } else {
            expect_thrown(thrown, L"SET", key, CT_errorOutOfRange);
            EXPECT_EQ(detail_of(thrown), c.detail);
            // A rejected call changes neither the object's array nor the stored one.
            EXPECT_EQ(now, before);
            EXPECT_EQ(symbol_array(o, key), before);
        }
    }

    mrqMakeCallOptionaArgs o;
    auto thrown = capture([&] { o.setOutboundOfferMedia(0x1880706D, 0x18C0706D, 0x1B00706D, 4); });
    expect_thrown(thrown, L"SET", MakeCall_OutboundOfferMedia, CT_errorOutOfRange);
    EXPECT_EQ(detail_of(thrown), L"A maximum of three media types allowed");
    thrown = capture([&] { o.setOutboundAcceptMedia(0x1880706D, 0, 0, 0); });
    EXPECT_EQ(detail_of(thrown), L"A minimum of one media type required");
    o.setOutboundAcceptMedia(0x2340706D, 0xBAD, 0xBAD, 1);  // only the first `count` values count
    EXPECT_EQ(accept_of(o), Symbols{0x2340706D});
    o.setOutboundOfferMedia(0x0706206D, 0x23C0706D, 0x1880706D, 3);
    EXPECT_EQ(offer_of(o), (Symbols{0x0706206D, 0x23C0706D, 0x1880706D}));

    expect_thrown(capture([&] { o.setOutboundOfferMedia(static_cast<const unsigned int *>(nullptr), 1); }), L"SET", MakeCall_OutboundOfferMedia,
                  CT_errorBadParameter);

    o.setDefaultOutboundOfferMediaPreferences();
    o.setDefaultOutboundAcceptMediaPreferences();
    EXPECT_EQ(offer_of(o), offerDefault);
    EXPECT_EQ(accept_of(o), acceptDefault);
    EXPECT_EQ(symbol_array(o, MakeCall_OutboundAcceptMedia), acceptDefault);
}

TEST_F(MakeCallOptionsTest, RtcMergesTheCallersPairsAndRefusesNothing)
{
    mrqMakeCallOptionaArgs o;
    EXPECT_EQ(o.getRTC(0), o.getRTC(0xFFFF));

    KVSet extra;
    extra.create();
    extra.putInt(0x777, 5);
    o.setRTC(handle_of(extra));
    EXPECT_EQ(keys_of(o.getRTC(0)), (Symbols{0x1B80706D, 0x00070070, 0x777}));
    EXPECT_EQ(KVSet(o.getRTC(0), false).getInt(0x777), 5);
    EXPECT_EQ(ValidateKVS(static_cast<CTkvs>(handle_of(extra))), CT_errorOK) << "the caller keeps its set";

    const KVSet before = snapshot_of(o.getRTC(0));
    expect_thrown(capture([&] { o.setRTC(0); }), L"COPY", MakeCall_RTC, CT_errorInvalidKVSet);
    expect_thrown(capture([&] { o.setRTC(0x100000000ul + o.getRTC(0)); }), L"COPY", MakeCall_RTC,
                  CT_errorInvalidKVSet);
    EXPECT_TRUE(same_content(handle_of(before), o.getRTC(0)));

    o.setDefaultRTC();  // stores the working set again; nothing new appears
    EXPECT_EQ(keys_of(o.getRTC(0)).size(), 3u);
}

// A source options KV-Set with a changed CPA value, a changed mask, an offer
// preference and a line device.
KVSet changed_source()
{
    mrqMakeCallOptionaArgs source;
    source.setCPA(0x0546106D, 50);
    source.setConnectMask(0x2446206D);
    unsigned int offer[] = {0x23C0706D};
    source.setOutboundOfferMedia(offer, 1);
    source.setLineDevice("line 7");
    return snapshot_of(source);  // outlives `source`
}

TEST_F(MakeCallOptionsTest, CopyLoadsTheWorkingSetsAndMediaFromTheSource)
{
    const KVSet source = changed_source();
    mrqMakeCallOptionaArgs o;
    o.copy(source);
    EXPECT_TRUE(same_content(handle_of(source), o));

    wchar_t *line = nullptr;
    o.getLineDevice(&line);
    EXPECT_STREQ(line, L"line 7");
    EXPECT_EQ(o.getCPA(0x0546106D), 50) << "reads come from the copied values";
    EXPECT_TRUE(o.getConnectMask(0x2446206D));
    EXPECT_EQ(offer_of(o), Symbols{0x23C0706D});

    // Later setters build on the copied values instead of empty working sets.
    o.setCPA(0x0586106D, 30);
    const KVSet cpa(o.getCPA(), false);
    EXPECT_EQ(cpa.getInt(0x0546106D), 50);
    EXPECT_EQ(cpa.getInt(0x0586106D), 30);
    EXPECT_EQ(keys_of(o.getCPA()).size(), 12u);
    o.clearConnectMask(0x0206206D);
    EXPECT_TRUE(o.getConnectMask(0x2446206D));
    EXPECT_EQ(keys_of(o.getConnectMask()).size(), 11u);
    o.setConnectMask(0x0386206D);  // also set in the disconnect mask
    const auto thrown = capture([&] { o.validate(); });
    expect_thrown(thrown, L"SET", 0x0386206D, CT_errorOutOfRange);
}

TEST_F(MakeCallOptionsTest, CopyAppliesDefaultsForMissingOrUnusableEntries)
{
    KVSet source = changed_source();
    CTerror e = 0;
    const CTsymbol removed[] = {MakeCall_CPA, MakeCall_RTC};
    ASSERT_EQ(CTkvs_Remove(static_cast<CTkvs>(handle_of(source)), removed, 2, &e), CT_statusOK);
    const CTsymbol tooMany[] = {0x1880706D, 0x18C0706D, 0x1B00706D, 0x2340706D};
    source.putSymbolArray(MakeCall_OutboundOfferMedia, const_cast<CTsymbol *>(tooMany), 4);
    const CTsymbol invalid[] = {0x23C0706D};  // offer-only, not acceptable
    source.putSymbolArray(MakeCall_OutboundAcceptMedia, const_cast<CTsymbol *>(invalid), 1);

    mrqMakeCallOptionaArgs o;
    o.copy(handle_of(source));  // the non-const conversion would hand `source` over
    const Symbols keys = keys_of(o);
    ASSERT_EQ(keys.size(), 7u);
    EXPECT_EQ(keys[5], MakeCall_RTC) << "missing entries are appended with their defaults";
    EXPECT_EQ(keys[6], MakeCall_CPA);
    for (const Cpa &c : kCpaDefaults) EXPECT_EQ(KVSet(o.getCPA(), false).getInt(c.symbol), c.value);
    EXPECT_EQ(o.getCPA(0x0546106D), 64);
    EXPECT_EQ(keys_of(o.getRTC(0)), (Symbols{0x1B80706D, 0x00070070}));
    EXPECT_EQ(offer_of(o), (Symbols{0x18C0706D, 0x1880706D}));
    EXPECT_EQ(symbol_array(o, MakeCall_OutboundOfferMedia), (Symbols{0x18C0706D, 0x1880706D}));
    EXPECT_EQ(accept_of(o), (Symbols{0x1B00706D, 0x18C0706D, 0x1880706D}));
    EXPECT_EQ(symbol_array(o, MakeCall_OutboundAcceptMedia), (Symbols{0x1B00706D, 0x18C0706D, 0x1880706D}));
    EXPECT_TRUE(o.getConnectMask(0x2446206D)) << "entries present in the source stay as copied";
    EXPECT_NO_THROW(o.validate());
}

TEST_F(MakeCallOptionsTest, FailedOrSelfCopyLosesNothing)
{
    mrqMakeCallOptionaArgs o;
    o.setCallingNumber("5551234");
    o.setCPA(0x0586106D, 11);
    const unsigned long options = o;
    const KVSet before = snapshot_of(options);

    expect_thrown(capture([&] { o.copy(0); }), L"COPY", 0, CT_errorInvalidKVSet);
    expect_thrown(capture([&] { o.copy(0x100000000ul + options); }), L"COPY", 0, CT_errorInvalidKVSet);
    EXPECT_EQ(static_cast<unsigned long>(o), options);
    EXPECT_TRUE(same_content(handle_of(before), o));
    EXPECT_EQ(o.getCPA(0x0586106D), 11);

    o.copy(o);  // its own options: still readable while the copy is made
    EXPECT_TRUE(same_content(handle_of(before), o));
    wchar_t *number = nullptr;
    o.getCallingNumber(&number);
    EXPECT_STREQ(number, L"5551234");
    EXPECT_EQ(o.getCPA(0x0586106D), 11);
    EXPECT_NO_THROW(o.validate());

    o.copy(o.getRTC(0));  // a set nested in its own options: only the RTC pairs
    EXPECT_EQ(keys_of(o).size(), 2u + 6u);
}

TEST_F(MakeCallOptionsTest, CopiesAndAssignmentsAreIndependent)
{
    mrqMakeCallOptionaArgs a;
    a.setLineDevice("a");
    unsigned int accept[] = {0x2340706D};
    a.setOutboundAcceptMedia(accept, 1);

    mrqMakeCallOptionaArgs b(a);
    EXPECT_NE(static_cast<unsigned long>(b), static_cast<unsigned long>(a));
    EXPECT_TRUE(same_content(a, b));
    EXPECT_EQ(accept_of(b), Symbols{0x2340706D});
    b.setLineDevice("b");
    b.setCPA(0x0546106D, 40);
    wchar_t *line = nullptr;
    a.getLineDevice(&line);
    EXPECT_STREQ(line, L"a");
    EXPECT_EQ(a.getCPA(0x0546106D), 64);
    EXPECT_EQ(b.getCPA(0x0546106D), 40);

    mrqMakeCallOptionaArgs c;
    const unsigned long former = c;
    c = b;
    EXPECT_NE(ValidateKVS(static_cast<CTkvs>(former)), CT_errorOK) << "the former KV-Sets are destroyed";
    EXPECT_NE(static_cast<unsigned long>(c), static_cast<unsigned long>(b));
    EXPECT_TRUE(same_content(b, c));
    EXPECT_EQ(c.getCPA(0x0546106D), 40);
    EXPECT_EQ(accept_of(c), Symbols{0x2340706D});
    c.setCPA(0x0546106D, 41);
    EXPECT_EQ(b.getCPA(0x0546106D), 40);

    const unsigned long kept = c;
    mrqMakeCallOptionaArgs &same = c;
    c = same;
    EXPECT_EQ(static_cast<unsigned long>(c), kept);
    EXPECT_EQ(c.getCPA(0x0546106D), 41);
}

TEST_F(MakeCallOptionsTest, DestructionAbsorbsKVSetsDestroyedElsewhere)
{
    auto *o = new mrqMakeCallOptionaArgs;
    CTerror e = 0;
    ASSERT_EQ(CTkvs_Destroy(static_cast<CTkvs>(static_cast<unsigned long>(*o)), &e), CT_statusOK);
    {
        const mrqMakeCallOptionaArgs copy(*o);  // its options could not be copied
        EXPECT_EQ(static_cast<unsigned long>(copy), 0u);
    }
    EXPECT_NO_THROW(delete o);
}

}  // namespace
