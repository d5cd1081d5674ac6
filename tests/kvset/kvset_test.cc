// KVSet: its states and ownership, moves, the typed puts and gets, the
// failure rows, the KV-Set arrays and handles that do not fit in 32 bits.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "kvset/KVSet.h"
#include "kvset_support.h"
#include "store/alloc_internal.h"

namespace {

using objtest::capture;
using objtest::expect_thrown;

class KVSetTest : public kvs::test::KvsTest {};

bool alive(unsigned long handle) { return ValidateKVS(static_cast<CTkvs>(handle)) == CT_errorOK; }

CTkvs new_set()
{
    CTkvs h = 0;
    CTerror e = 0;
    EXPECT_EQ(CTkvs_Create(&h, &e), CT_statusOK);
    return h;
}

void destroy_set(unsigned long h)
{
    CTerror e = 0;
    EXPECT_EQ(CTkvs_Destroy(static_cast<CTkvs>(h), &e), CT_statusOK);
}

// The const conversion: reads the handle without touching ownership.
unsigned long handle_of(const KVSet &k) { return k; }

const unsigned int K = 0x00010007u;

TEST_F(KVSetTest, CreateAndDestroyFollowTheStates)
{
    KVSet k;
    EXPECT_TRUE(k.isEmpty());
    EXPECT_EQ(handle_of(k), 0u);
    const unsigned long h = k.create();
    EXPECT_NE(h, 0u);
    EXPECT_EQ(handle_of(k), h);
    EXPECT_TRUE(alive(h));
    EXPECT_TRUE(k.isEmpty());
    k.putInt(K, 1);
    EXPECT_FALSE(k.isEmpty());

    expect_thrown(capture([&] { k.create(); }), L"CREATE", 0, 0);
    EXPECT_EQ(handle_of(k), h) << "a refused create keeps the KV-Set";

    k.destroy();
    EXPECT_FALSE(alive(h));
    EXPECT_EQ(handle_of(k), 0u);
    expect_thrown(capture([&] { k.destroy(); }), L"DESTROY", 0, 0);
}

TEST_F(KVSetTest, OwnershipDecidesWhatTheDestructorDestroys)
{
    const CTkvs adopted = new_set();
    { KVSet owner(adopted, true); }
    EXPECT_FALSE(alive(adopted));

    const CTkvs lent = new_set();
    { KVSet borrower(lent, false); }
    EXPECT_TRUE(alive(lent));

    unsigned long abandoned = 0;
    {
        KVSet k;
        abandoned = k.create();
        k.abandon();
        EXPECT_EQ(handle_of(k), abandoned) << "abandon keeps the handle";
    }
    EXPECT_TRUE(alive(abandoned));

    unsigned long converted = 0;
    {
        KVSet k;
        k.create();
        converted = k;  // the non-const conversion hands the duty over
    }
    EXPECT_TRUE(alive(converted));

    // destroy() does not care whether the object owns the KV-Set.
    KVSet borrower(lent, false);
    borrower.destroy();
    EXPECT_FALSE(alive(lent));

    destroy_set(abandoned);
    destroy_set(converted);
}

TEST_F(KVSetTest, IsEmptyForABorrowedKVSetDestroyedElsewhere)
{
    const CTkvs h = new_set();
    CTerror e = 0;
    CTkvs_PutInt(h, K, 5, &e);
    const KVSet borrower(h, false);
    EXPECT_FALSE(borrower.isEmpty());
    destroy_set(h);
    EXPECT_TRUE(borrower.isEmpty());
}

TEST_F(KVSetTest, CopyConstructionIsDeepAndAssignmentSharesTheHandle)
{
    KVSet original;
    original.create();
    original.putInt(K, 7);

    KVSet copy(original);
    EXPECT_NE(handle_of(copy), handle_of(original));
    EXPECT_EQ(copy.getInt(K), 7);
    copy.putInt(K, 8);
    EXPECT_EQ(original.getInt(K), 7);

    const KVSet nothing;
    const KVSet fromNothing(nothing);
    EXPECT_EQ(handle_of(fromNothing), 0u);

    // Assignment copies the fields: both objects own the same KV-Set, and
    // the second destruction finds it gone and ignores that quietly.
    const unsigned long shared = handle_of(original);
    {
        KVSet alias;
        alias = original;
        EXPECT_EQ(handle_of(alias), shared);
    }
    EXPECT_FALSE(alive(shared));
    EXPECT_TRUE(original.isEmpty());
    expect_thrown(capture([&] { original.destroy(); }), L"DESTROY", 0, CT_errorInvalidKVSet);
    EXPECT_EQ(handle_of(original), shared) << "a failed destroy leaves the fields unchanged";
}

TEST_F(KVSetTest, MovesTransferTheHandleWithoutCopies)
{
    static_assert(std::is_nothrow_move_constructible<KVSet>::value, "KVSet moves must not throw");
    static_assert(std::is_nothrow_move_assignable<KVSet>::value, "KVSet moves must not throw");

    KVSet source;
    const unsigned long h = source.create();
    const std::uint32_t before = MRQkvs_GetNumKVS();
    KVSet moved(std::move(source));
    EXPECT_EQ(handle_of(moved), h);
    EXPECT_EQ(handle_of(source), 0u);
    EXPECT_EQ(MRQkvs_GetNumKVS(), before) << "a move makes no copy";

    // Move assignment destroys the KV-Set the target owned before.
    KVSet target;
    const unsigned long former = target.create();
    target = std::move(moved);
    EXPECT_FALSE(alive(former));
    EXPECT_EQ(handle_of(target), h);
    EXPECT_EQ(handle_of(moved), 0u);

    // ... unless it is the very KV-Set being moved in.
    KVSet alias;
    alias = target;  // both own h
    target = std::move(alias);
    EXPECT_TRUE(alive(h));
    EXPECT_EQ(handle_of(target), h);

    KVSet &self = target;
    target = std::move(self);
    EXPECT_EQ(handle_of(target), h);
    EXPECT_TRUE(alive(h));

    // Growing a vector moves its elements: the handles stay, no copies appear.
    std::vector<KVSet> sets;
    std::vector<unsigned long> handles;
    for (int i = 0; i < 20; ++i) {
        KVSet k;
        handles.push_back(k.create());
        sets.push_back(std::move(k));
    }
    EXPECT_EQ(MRQkvs_GetNumKVS(), before + 20);
    for (std::size_t i = 0; i < sets.size(); ++i) EXPECT_EQ(handle_of(sets[i]), handles[i]);
}

TEST_F(KVSetTest, TypedValuesRoundTrip)
{
    KVSet k;
    k.create();
    CTerror e = 0;

    k.putInt(1, -5);
    EXPECT_EQ(k.getInt(1), -5);

    k.putBool(2, 2);  // the int form stores the value unchanged
    int raw = 0;
    k.getBool(2, &raw);
    EXPECT_EQ(raw, 2);
    EXPECT_FALSE(k.getBool(2)) << "only a stored 1 is true";
    k.putBool(2, true);
    uint32_t stored = 0;
    CTkvs_GetBool(static_cast<CTkvs>(handle_of(k)), 2, &stored, &e);
    EXPECT_EQ(stored, 1u);
    EXPECT_TRUE(k.getBool(2));
    k.putBool(2, false);
    EXPECT_FALSE(k.getBool(2));

    k.putIRange(3, struct_Irange{-4, 9});
    const struct_Irange range = k.getIRange(3);
    EXPECT_EQ(range.lower, -4);
    EXPECT_EQ(range.upper, 9);

    k.putMode(4, static_cast<e_OperationModes>(7));  // any value passes through
    EXPECT_EQ(static_cast<unsigned int>(k.getMode(4)), 7u);
    k.putMode(4, e_modeSync);
    EXPECT_EQ(k.getMode(4), e_modeSync);

    k.putSymbol(5, 0xDEADBEEFu);
    EXPECT_EQ(k.getSymbol(5), 0xDEADBEEFu);
    k.putStatus(6, 3);
    EXPECT_EQ(k.getStatus(6), 3u);
    k.putStream(7, 0xFFFFFFFFu);
    EXPECT_EQ(k.getStream(7), 0xFFFFFFFFu);

    void *const top = reinterpret_cast<void *>(static_cast<std::uintptr_t>(0xFFFFFFFFu));
    k.putService(8, top);
    EXPECT_EQ(k.getService(8), top);
    k.putSession(9, reinterpret_cast<void *>(0x1234));
    EXPECT_EQ(k.getSession(9), reinterpret_cast<void *>(0x1234));
    k.putGroup(10, nullptr);
    EXPECT_EQ(k.getGroup(10), nullptr);

    wchar_t text[] = L"wide";
    k.putString(11, text);
    wchar_t *lent = nullptr;
    k.getString(11, &lent);
    EXPECT_STREQ(lent, L"wide");
    EXPECT_NE(lent, text) << "the store keeps its own copy";
    k.putString(12, std::wstring(L"from a wstring"));
    EXPECT_EQ(k.getString(12), L"from a wstring");
    k.putString(13, "narrow");
    EXPECT_EQ(k.getString(13), L"narrow");
    k.putString(14, "");
    EXPECT_EQ(k.getString(14), L"");
    k.putString(15, static_cast<wchar_t *>(nullptr));  // an absent string
    EXPECT_EQ(k.getString(15), L"");
    k.getString(15, &lent);
    EXPECT_EQ(lent, nullptr);

    KVSet inner;
    inner.create();
    inner.putInt(1, 42);
    k.putKVS(16, handle_of(inner));
    const unsigned long nested = k.getKVS(16);
    EXPECT_NE(nested, handle_of(inner)) << "the put stores a copy";
    EXPECT_EQ(KVSet(nested, false).getInt(1), 42);

    unsigned int symbols[] = {1, 2, 3};
    k.putSymbolArray(17, symbols, 3);
    CTsymbol *elements = nullptr;
    int32_t count = 0;
    ASSERT_EQ(CTkvs_GetSymbolArray(static_cast<CTkvs>(handle_of(k)), 17, &elements, &count, &e), CT_statusOK);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(elements[2], 3u);
}

TEST_F(KVSetTest, NarrowStringsAreConvertedInTheCurrentLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    KVSet k;
    k.create();
    k.putString(1, "caf\xC3\xA9");
    EXPECT_EQ(k.getString(1), L"caf\u00E9");
    // Text the locale cannot convert is refused, and nothing is stored.
    const auto bad = capture([&] { k.putString(2, "ab\xC3\x28"); });
    std::setlocale(LC_ALL, saved.c_str());
    expect_thrown(bad, L"SET", 2, CT_errorBadParameter);
    expect_thrown(capture([&] { k.getString(2); }), L"GET", 2, CT_errorNoSuchKey);
}

// Every put and get reports the store's failure with its own action and key.
TEST_F(KVSetTest, FailuresThrowTheActionKeyAndStoreError)
{
    KVSet empty;
    KVSet full;
    full.create();
    full.putInt(0x99, 1);  // an int: every other typed get misses it
    wchar_t text[] = L"x";
    unsigned int symbols[] = {1};
    void *const tooWide = reinterpret_cast<void *>(static_cast<std::uintptr_t>(0x100000000ull));

    struct Case {
        const char *what;
        std::function<void()> call;
        const wchar_t *action;
        unsigned int key;
        unsigned int code;
    };
    const Case cases[] = {
        {"putInt on nothing", [&] { empty.putInt(0x11, 1); }, L"SET", 0x11, CT_errorInvalidKVSet},
        {"putBool int", [&] { empty.putBool(0x12, 1); }, L"SET", 0x12, CT_errorInvalidKVSet},
        {"putBool bool", [&] { empty.putBool(0x13, true); }, L"SET", 0x13, CT_errorInvalidKVSet},
        {"putIRange", [&] { empty.putIRange(0x14, struct_Irange{1, 2}); }, L"SET", 0x14, CT_errorInvalidKVSet},
        {"putKVS", [&] { empty.putKVS(0x15, handle_of(full)); }, L"SET", 0x15, CT_errorInvalidKVSet},
        {"putMode", [&] { empty.putMode(0x16, e_modeAsync); }, L"SET", 0x16, CT_errorInvalidKVSet},
        {"putString wide", [&] { empty.putString(0x17, text); }, L"SET", 0x17, CT_errorInvalidKVSet},
        {"putString wstring", [&] { empty.putString(0x18, std::wstring(L"x")); }, L"SET", 0x18, CT_errorInvalidKVSet},
        {"putString narrow", [&] { empty.putString(0x19, "x"); }, L"SET", 0x19, CT_errorInvalidKVSet},
        {"putSymbol", [&] { empty.putSymbol(0x1A, 1); }, L"SET", 0x1A, CT_errorInvalidKVSet},
        {"putService", [&] { empty.putService(0x1B, nullptr); }, L"SET", 0x1B, CT_errorInvalidKVSet},
        {"putSession", [&] { empty.putSession(0x1C, nullptr); }, L"SET", 0x1C, CT_errorInvalidKVSet},
        {"putStatus", [&] { empty.putStatus(0x1D, 0); }, L"SET", 0x1D, CT_errorInvalidKVSet},
        {"putStream", [&] { empty.putStream(0x1E, 0); }, L"SET", 0x1E, CT_errorInvalidKVSet},
        {"putGroup", [&] { empty.putGroup(0x1F, nullptr); }, L"SET", 0x1F, CT_errorInvalidKVSet},
        {"putSymbolArray", [&] { empty.putSymbolArray(0x20, symbols, 1); }, L"SET", 0x20, CT_errorInvalidKVSet},
        {"createArray", [&] { empty.createArray(0x21, 2); }, L"SET", 0x21, CT_errorInvalidKVSet},
        {"getInt on nothing", [&] { empty.getInt(0x31); }, L"GET", 0x31, CT_errorInvalidKVSet},
        {"getKVSArray on nothing", [&] { empty.getKVSArray(0x32); }, L"GET", 0x32, CT_errorInvalidKVSet},
        {"getInt missing", [&] { full.getInt(0x41); }, L"GET", 0x41, CT_errorNoSuchKey},
        {"getBool int form", [&] { int v; full.getBool(0x99, &v); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getBool", [&] { full.getBool(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getIRange", [&] { full.getIRange(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getKVS", [&] { full.getKVS(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getMode", [&] { full.getMode(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getString pointer", [&] { wchar_t *s; full.getString(0x99, &s); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getString copy", [&] { full.getString(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getSymbol", [&] { full.getSymbol(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getService", [&] { full.getService(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getSession", [&] { full.getSession(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getStatus", [&] { full.getStatus(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getStream", [&] { full.getStream(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getGroup", [&] { full.getGroup(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getArrayKVSetElement", [&] { full.getArrayKVSetElement(0x99, 0); }, L"GET", 0x99, CT_errorNoSuchKey},
        {"getKVSArray", [&] { full.getKVSArray(0x99); }, L"GET", 0x99, CT_errorNoSuchKey},
        // Values the store cannot hold are refused, never cut to 32 bits.
        {"putService above 32 bits", [&] { full.putService(0x51, tooWide); }, L"SET", 0x51, CT_errorBadParameter},
        {"putSession above 32 bits", [&] { full.putSession(0x52, tooWide); }, L"SET", 0x52, CT_errorBadParameter},
        {"putGroup above 32 bits", [&] { full.putGroup(0x53, tooWide); }, L"SET", 0x53, CT_errorBadParameter},
        {"createArray negative", [&] { full.createArray(0x54, -1); }, L"SET", 0x54, CT_errorBadParameter},
        {"putKVS of nothing", [&] { full.putKVS(0x55, 0); }, L"SET", 0x55, CT_errorInvalidKVSet},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        expect_thrown(capture(c.call), c.action, c.key, c.code);
    }
    EXPECT_EQ(MRQkvs_GetNumPairs(static_cast<CTkvs>(handle_of(full))), 1) << "refused puts store nothing";
}

TEST_F(KVSetTest, HandlesThatDoNotFitIn32BitsAreRefusedNotCut)
{
    KVSet real;
    const unsigned long h = real.create();
    const unsigned long wide = h + 0x100000000ul;  // cut to 32 bits it would be h

    {
        KVSet big(wide, true);  // its destructor must not destroy h either
        expect_thrown(capture([&] { big.putInt(1, 1); }), L"SET", 1, CT_errorInvalidKVSet);
        expect_thrown(capture([&] { big.getInt(1); }), L"GET", 1, CT_errorInvalidKVSet);
        expect_thrown(capture([&] { big.destroy(); }), L"DESTROY", 0, CT_errorInvalidKVSet);
        EXPECT_TRUE(big.isEmpty());
        const KVSet copy(big);
        EXPECT_EQ(handle_of(copy), 0u);
        expect_thrown(capture([&] { real.putKVS(2, wide); }), L"SET", 2, CT_errorInvalidKVSet);
    }
    EXPECT_TRUE(alive(h));
    EXPECT_EQ(MRQkvs_GetNumPairs(static_cast<CTkvs>(h)), 0);
}

TEST_F(KVSetTest, KVSetArraysAreCreatedIndexedAndCopiedOut)
{
    const std::uint32_t before = MRQkvs_GetNumKVS();
    KVSet k;
    k.create();
    k.createArray(1, 3);
    EXPECT_EQ(MRQkvs_GetNumKVS(), before + 1 + 3) << "the temporaries are gone, the stored copies stay";

    unsigned long stored[3];
    for (int i = 0; i < 3; ++i) {
        stored[i] = k.getArrayKVSetElement(1, i);
        EXPECT_TRUE(alive(stored[i]));
        EXPECT_EQ(MRQkvs_GetNumPairs(static_cast<CTkvs>(stored[i])), 0);
    }
    EXPECT_EQ(k.getArrayKVSetElement(1, -1), 0u);
    EXPECT_EQ(k.getArrayKVSetElement(1, 3), 0u);

    // Put something into the stored elements so the copies have content.
    KVSet(stored[1], false).putInt(7, 70);
    {
        std::vector<KVSet> copies = k.getKVSArray(1);
        ASSERT_EQ(copies.size(), 3u);
        for (int i = 0; i < 3; ++i) EXPECT_NE(handle_of(copies[i]), stored[i]);
        EXPECT_EQ(copies[1].getInt(7), 70);
        copies[1].putInt(7, 71);
        EXPECT_EQ(KVSet(stored[1], false).getInt(7), 70) << "the copies are independent";
    }
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(alive(stored[i]));
    EXPECT_EQ(k.getArrayKVSetElement(1, 2), stored[2]);

    k.createArray(2, 0);
    EXPECT_TRUE(k.getKVSArray(2).empty());
    EXPECT_EQ(k.getArrayKVSetElement(2, 0), 0u);
}

// An allocation that fails anywhere inside createArray is reported; the old
// way stored an empty element for a failed create and reported success.
TEST_F(KVSetTest, CreateArrayReportsEveryFailedAllocation)
{
    KVSet k;
    k.create();
    const std::uint32_t base = MRQkvs_GetNumKVS();
    for (std::uint64_t nth = 1;; ++nth) {
        kvs::test::fail_allocation(nth, kvs::test::FailMode::Once);
        const auto result = capture([&] { k.createArray(5, 3); });
        kvs::test::disarm_allocation_failures();
        CTkvs *elements = nullptr;
        int32_t count = 0;
        CTerror e = 0;
        const CTstatus status = CTkvs_GetKVSArray(static_cast<CTkvs>(handle_of(k)), 5, &elements, &count, &e);
        if (!result.thrown) {
            EXPECT_EQ(status, CT_statusOK) << "success means three valid elements";
            EXPECT_EQ(count, 3);
            break;
        }
        SCOPED_TRACE(nth);
        ASSERT_LT(nth, 200u);
        EXPECT_EQ(result.arguments[0], L"SET");
        EXPECT_EQ(result.arguments[1], objtest::symbol_name(5));
        EXPECT_NE(status, CT_statusOK) << "a failure must not leave an array behind";
        EXPECT_EQ(MRQkvs_GetNumKVS(), base) << "temporaries released after failure";
    }
}

TEST_F(KVSetTest, NarrowPutReportsAFailedConversionBuffer)
{
    KVSet k;
    k.create();
    kvs::test::fail_allocation(1, kvs::test::FailMode::Once);
    const auto result = capture([&] { k.putString(3, "abc"); });
    kvs::test::disarm_allocation_failures();
    expect_thrown(result, L"SET", 3, CT_errorNoMemory);
    EXPECT_TRUE(k.isEmpty());
}

}  // namespace
