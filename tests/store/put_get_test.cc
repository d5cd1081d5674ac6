// Typed puts and gets: every family's round trip, the type code each stores,
// replace in place, ownership of copies, borrowed references, and the
// argument checks.
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "support/describe.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

using Puts = KvsTest;
using Gets = KvsTest;

constexpr CTsymbol K = 0x00A1u;

// ---- Single values ------------------------------------------------------

struct Scalar {
    const char *name;
    std::uint32_t code;  // the code the put stores and the get seeks
    CTstatus (*put)(CTkvs, CTsymbol, std::uint32_t, CTerror *);
    CTstatus (*get)(CTkvs, CTsymbol, std::uint32_t *, CTerror *);
    std::uint32_t widest;  // the largest value the type holds
};

#define SCALAR_ROW(Name, code)                                                                            \
    Scalar                                                                                                \
    {                                                                                                     \
        #Name, code, [](CTkvs h, CTsymbol k, std::uint32_t v, CTerror *e) { return CTkvs_Put##Name(h, k, v, e); }, \
            [](CTkvs h, CTsymbol k, std::uint32_t *v, CTerror *e) { return CTkvs_Get##Name(h, k, v, e); },   \
            0xFFFFFFFFu                                                                                   \
    }

const Scalar kScalars[] = {
    SCALAR_ROW(Bool, 11),
    SCALAR_ROW(Conference, 12),
    SCALAR_ROW(Group, 14),
    {"Int", 15,
     [](CTkvs h, CTsymbol k, std::uint32_t v, CTerror *e) { return CTkvs_PutInt(h, k, static_cast<int32_t>(v), e); },
     [](CTkvs h, CTsymbol k, std::uint32_t *v, CTerror *e) {
         int32_t i = 0;
         CTstatus s = CTkvs_GetInt(h, k, v ? &i : nullptr, e);
         if (v && s == CT_statusOK) *v = static_cast<std::uint32_t>(i);
         return s;
     },
     0xFFFFFFFFu},
    SCALAR_ROW(Mode, 16),
    SCALAR_ROW(Session, 18),
    SCALAR_ROW(Service, 19),
    SCALAR_ROW(Status, 20),
    SCALAR_ROW(Symbol, 21),
    SCALAR_ROW(Error, 21),
    SCALAR_ROW(Time, 22),
    SCALAR_ROW(Uint, 24),
    SCALAR_ROW(Stream, 25),
    {"Char", 26,
     [](CTkvs h, CTsymbol k, std::uint32_t v, CTerror *e) { return CTkvs_PutChar(h, k, static_cast<uint16_t>(v), e); },
     [](CTkvs h, CTsymbol k, std::uint32_t *v, CTerror *e) {
         uint16_t c = 0;
         CTstatus s = CTkvs_GetChar(h, k, v ? &c : nullptr, e);
         if (v && s == CT_statusOK) *v = c;
         return s;
     },
     0xFFFFu},
    SCALAR_ROW(Connection, 28),
};

TEST_F(Puts, EverySingleValueRoundTripsUnderItsOwnTypeCode)
{
    CTkvs h = make_set();
    for (const Scalar &row : kScalars) {
        SCOPED_TRACE(row.name);
        // Values with zero bytes in every position, the sign bit and all ones.
        for (std::uint32_t value : {0u, 0x100u, 0x80000000u & row.widest, 0x8000u, row.widest}) {
            ASSERT_EQ(run(row.put, h, K, value), ok());
            std::uint32_t back = ~value;
            EXPECT_EQ(run(row.get, h, K, &back), ok());
            EXPECT_EQ(back, value);
        }
        ASSERT_EQ(MRQkvs_GetNumPairs(h), 1);
        uint32_t type = 0;
        EXPECT_EQ(run(CTkvs_GetType, h, K, &type), ok());
        EXPECT_EQ(type, row.code);

        // Every get that seeks another code misses, and writes nothing.
        for (const Scalar &other : kScalars) {
            if (other.code == row.code) continue;
            std::uint32_t untouched = 0x5A5A5A5Au;
            EXPECT_EQ(run(other.get, h, K, &untouched), warning(CT_errorNoSuchKey)) << "get" << other.name;
            EXPECT_EQ(untouched, 0x5A5A5A5Au);
        }
    }
}

TEST_F(Puts, ErrorAndSymbolValuesAreOnePair)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutError, h, K, CT_errorNoSuchKey), ok());
    CTsymbol s = 0;
    EXPECT_EQ(run(CTkvs_GetSymbol, h, K, &s), ok());
    EXPECT_EQ(s, CT_errorNoSuchKey);
    ASSERT_EQ(run(CTkvs_PutSymbol, h, K, 0x1234u), ok());
    CTerror e = 0;
    EXPECT_EQ(run(CTkvs_GetError, h, K, &e), ok());
    EXPECT_EQ(e, 0x1234u);
    EXPECT_EQ(describe(h), "{*A1:21/1=1234}");
}

TEST_F(Puts, RangesHoldLowerThenUpper)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutIrange, h, K, -3, 7), ok());
    ASSERT_EQ(run(CTkvs_PutIRange, h, K + 1, INT32_MIN, INT32_MAX), ok());
    EXPECT_EQ(describe(h), "{A1:60/2=-3..7; *A2:60/2=-2147483648..2147483647}");
    struct_Irange r{0, 0};
    EXPECT_EQ(run(CTkvs_GetIrange, h, K, &r), ok());
    EXPECT_EQ(r.lower, -3);
    EXPECT_EQ(r.upper, 7);
    EXPECT_EQ(run(CTkvs_GetIRange, h, K + 1, &r), ok());
    EXPECT_EQ(r.lower, INT32_MIN);
    EXPECT_EQ(r.upper, INT32_MAX);
    int32_t i = 0;
    EXPECT_EQ(run(CTkvs_GetInt, h, K, &i), warning(CT_errorNoSuchKey));
}

// ---- Replace in place ---------------------------------------------------

TEST_F(Puts, AnExistingKeyIsReplacedInPlaceWhateverItsType)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 5), ok());
    ASSERT_EQ(run(CTkvs_PutInt, h, K, 5), ok());
    ASSERT_EQ(run(CTkvs_PutUint, h, 2u, 6u), ok());
    ASSERT_EQ(run(PutWide, h, K, L"abc"), ok());
    EXPECT_EQ(describe(h), "{1:15/1=5; *A1:62/1=\"abc\"; 2:24/1=6}");
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 3);
    const int32_t numbers[] = {7, 8};
    ASSERT_EQ(run(CTkvs_PutIntArray, h, 2u, numbers, 2u), ok());
    EXPECT_EQ(describe(h), "{1:15/1=5; A1:62/1=\"abc\"; *2:106/2=[7,8]}");
}

TEST_F(Puts, ReplacingANestedValueDestroysTheCopiesItHeld)
{
    CTkvs h = make_set();
    CTkvs a = make_set();
    ASSERT_EQ(run(CTkvs_PutKVS, h, K, a), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 3);
    ASSERT_EQ(run(CTkvs_PutInt, h, K, 1), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 2);

    const CTkvs three[] = {a, a, a};
    ASSERT_EQ(run(CTkvs_PutKVSArray, h, K, three, 3u), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 5);
    const CTkvs one[] = {a};
    ASSERT_EQ(run(CTkvs_PutKVSArray, h, K, one, 1u), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 3);
    ASSERT_EQ(run(CTkvs_PutKVSArray, h, K, one, 0u), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 2);
}

// ---- Strings --------------------------------------------------------------

TEST_F(Puts, WideStringsAreStoredAsTheyAreWhateverTheirFirstCharacter)
{
    CTkvs h = make_set();
    const wchar_t *cases[] = {L"", L"abc", L"\u00e9t\u00e9", L"\u0100", L"\U0001F600 smile", L"\uFFFF"};
    for (const wchar_t *text : cases) {
        SCOPED_TRACE(wide_text(text));
        std::vector<wchar_t> mine(text, text + std::wcslen(text) + 1);
        ASSERT_EQ(run(PutWide, h, K, mine.data()), ok());
        mine[0] = L'#';  // the set holds its own copy
        wchar_t *back = nullptr;
        ASSERT_EQ(run(CTkvs_GetString, h, K, &back), ok());
        ASSERT_NE(back, nullptr);
        EXPECT_NE(back, mine.data());
        EXPECT_STREQ(back, text);
    }
    // Nested copies keep them as they are too.
    ASSERT_EQ(run(PutWide, h, K, L"\u00e9t\u00e9"), ok());
    CTkvs outer = make_set();
    ASSERT_EQ(run(CTkvs_PutKVS, outer, 1u, h), ok());
    EXPECT_EQ(describe(outer), "{*1:61/1={*A1:62/1=\"\\u{E9}t\\u{E9}\"}}");
}

TEST_F(Puts, AnAbsentStringIsAPairWithoutAValue)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(PutWide, h, K, static_cast<const wchar_t *>(nullptr)), ok());
    EXPECT_EQ(describe(h), "{*A1:62/1=null}");
    wchar_t *back = reinterpret_cast<wchar_t *>(&back);
    EXPECT_EQ(run(CTkvs_GetString, h, K, &back), ok());
    EXPECT_EQ(back, nullptr);
    ASSERT_EQ(run(MRQkvs_PutNarrowString, h, K + 1, static_cast<const char *>(nullptr)), ok());
    EXPECT_EQ(describe(h), "{A1:62/1=null; *A2:62/1=null}");
}

// Sets LC_CTYPE for one test and restores the previous one.
class LocaleScope {
public:
    explicit LocaleScope(const char *name) : saved_(std::setlocale(LC_CTYPE, nullptr))
    {
        ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_ = false;
};

TEST_F(Puts, NarrowStringsAreConvertedInTheCurrentLocale)
{
    LocaleScope utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok());
    CTkvs h = make_set();
    ASSERT_EQ(run(MRQkvs_PutNarrowString, h, 1u, "abc"), ok());
    ASSERT_EQ(run(MRQkvs_PutNarrowString, h, 2u, ""), ok());
    ASSERT_EQ(run(MRQkvs_PutNarrowString, h, 3u, "A"), ok());  // one character below 0x80
    ASSERT_EQ(run(MRQkvs_PutNarrowString, h, 4u, "caf\xC3\xA9"), ok());
    CTerror e = kUnwritten;
    ASSERT_EQ(CTkvs_PutString(h, 5u, "via the C++ overload", &e), CT_statusOK);
    EXPECT_EQ(describe(h),
              "{1:62/1=\"abc\"; 2:62/1=\"\"; 3:62/1=\"A\"; 4:62/1=\"caf\\u{E9}\"; *5:62/1=\"via the C++ overload\"}");

    // Bytes the locale cannot convert are refused; the pair already stored
    // under that key stays as it was.
    EXPECT_EQ(run(MRQkvs_PutNarrowString, h, 1u, "\xFF\xFE"), fail(CT_errorBadParameter));
    EXPECT_EQ(run(MRQkvs_PutNarrowString, h, 6u, "ab\xC3"), fail(CT_errorBadParameter));
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 5);
    wchar_t *back = nullptr;
    ASSERT_EQ(run(CTkvs_GetString, h, 1u, &back), ok());
    EXPECT_STREQ(back, L"abc");
}

// ---- Arrays ---------------------------------------------------------------

struct Array {
    const char *name;
    std::uint32_t code;
    std::uint32_t elementSize;
    bool strict;  // refuses a count of 0
    CTstatus (*put)(CTkvs, CTsymbol, const void *, std::uint32_t, CTerror *);
    // Null `elements` passes a null element reference to the get.
    CTstatus (*get)(CTkvs, CTsymbol, const void **, int32_t *, CTerror *);
};

#define ARRAY_ROW(Put, Get, code, T, strict)                                                                   \
    Array                                                                                                      \
    {                                                                                                          \
        #Put, code, sizeof(T), strict,                                                                         \
            [](CTkvs h, CTsymbol k, const void *p, std::uint32_t n, CTerror *e) {                              \
                return CTkvs_Put##Put(h, k, static_cast<const T *>(p), n, e);                                  \
            },                                                                                                 \
            [](CTkvs h, CTsymbol k, const void **p, int32_t *n, CTerror *e) {                                  \
                T *q = nullptr;                                                                                \
                CTstatus s = CTkvs_Get##Get(h, k, p ? &q : nullptr, n, e);                                     \
                if (p) *p = q;                                                                                 \
                return s;                                                                                      \
            }                                                                                                  \
    }

const Array kArrays[] = {
    ARRAY_ROW(BoolArray, BoolArray, 101, uint32_t, false),
    ARRAY_ROW(ByteArray, ByteArray, 102, uint8_t, false),
    ARRAY_ROW(CONFArray, CONFArray, 103, uint32_t, false),
    ARRAY_ROW(GRPArray, GRPArray, 105, uint32_t, false),
    ARRAY_ROW(GroupArray, GroupArray, 105, uint32_t, false),
    ARRAY_ROW(IntArray, IntArray, 106, int32_t, false),
    ARRAY_ROW(IrangeArray, IrangeArray, 107, struct_Irange, true),
    ARRAY_ROW(IRangeArray, IRangeArray, 107, struct_Irange, true),
    ARRAY_ROW(ModeArray, ModeArray, 109, uint32_t, true),
    ARRAY_ROW(SESArray, SESArray, 111, uint32_t, false),
    ARRAY_ROW(SessionArray, SessionArray, 111, uint32_t, false),
    ARRAY_ROW(ServiceArray, SrvArray, 112, uint32_t, true),
    ARRAY_ROW(StatusArray, StatusArray, 113, CTstatus, false),
    ARRAY_ROW(SymbolArray, SymbolArray, 115, CTsymbol, false),
    ARRAY_ROW(ErrorArray, ErrorArray, 117, CTerror, false),
    ARRAY_ROW(CONNArray, CONNArray, 118, uint32_t, false),
    ARRAY_ROW(UintArray, UintArray, 119, uint32_t, false),
    ARRAY_ROW(TimeArray, TimeArray, 120, uint32_t, false),
};

TEST_F(Puts, EveryArrayRoundTripsACopyUnderItsOwnTypeCode)
{
    CTkvs h = make_set();
    for (const Array &row : kArrays) {
        SCOPED_TRACE(row.name);
        // Three elements whose bytes all differ, the first one zero.
        std::vector<std::uint8_t> mine(3 * row.elementSize);
        for (std::size_t i = 0; i < mine.size(); ++i) mine[i] = static_cast<std::uint8_t>(37 * i);
        const std::vector<std::uint8_t> expected = mine;
        ASSERT_EQ(run(row.put, h, K, mine.data(), 3u), ok());
        mine.assign(mine.size(), 0);

        const void *back = nullptr;
        int32_t count = -1;
        ASSERT_EQ(run(row.get, h, K, &back, &count), ok());
        EXPECT_EQ(count, 3) << "elements, not bytes";
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::memcmp(back, expected.data(), expected.size()), 0);
        uint32_t type = 0;
        EXPECT_EQ(run(CTkvs_GetType, h, K, &type), ok());
        EXPECT_EQ(type, row.code);

        for (const Array &other : kArrays) {
            if (other.code == row.code) continue;
            count = -1;
            EXPECT_EQ(run(other.get, h, K, &back, &count), warning(CT_errorNoSuchKey)) << other.name;
            EXPECT_EQ(count, -1);
        }
    }
}

TEST_F(Puts, EmptyArraysAreStoredExceptModeServiceAndRangeArrays)
{
    CTkvs h = make_set();
    const std::uint8_t any[8] = {};
    for (const Array &row : kArrays) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(run(CTkvs_PutInt, h, K, 1), ok());
        for (const void *elements : {static_cast<const void *>(any), static_cast<const void *>(nullptr)}) {
            if (row.strict) {
                EXPECT_EQ(run(row.put, h, K, elements, 0u), fail(CT_errorBadParameter));
                EXPECT_EQ(describe(h), "{*A1:15/1=1}");
            } else {
                EXPECT_EQ(run(row.put, h, K, elements, 0u), ok());
                const void *back = nullptr;
                int32_t count = -1;
                EXPECT_EQ(run(row.get, h, K, &back, &count), ok());
                EXPECT_EQ(count, 0);
                EXPECT_EQ(describe(h), "{*A1:" + std::to_string(row.code) + "/0=[]}");
            }
        }
    }
}

TEST_F(Puts, ArrayArgumentsThatCannotBeCopiedAreRefusedAndNothingIsStored)
{
    CTkvs h = make_set();
    const std::uint8_t small[16] = {};
    for (const Array &row : kArrays) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(run(CTkvs_PutInt, h, K, 1), ok());
        EXPECT_EQ(run(row.put, h, K, nullptr, 2u), fail(CT_errorBadParameter));

        // A count whose size in bytes, or which itself, does not fit: refused
        // before anything is read or allocated. (Allocation is made to fail
        // so that a missing check shows as a wrong answer, not a crash.)
        const std::uint32_t tooMany =
            row.elementSize == 1 ? 0x80000000u : static_cast<std::uint32_t>(0x100000000ull / row.elementSize);
        kvs::test::fail_allocation(1, kvs::test::FailMode::FromThenOn);
        EXPECT_EQ(run(row.put, h, K, small, tooMany), fail(CT_errorBadParameter));
        EXPECT_EQ(run(row.put, h, K, small, 0xFFFFFFFFu), fail(CT_errorBadParameter));
        kvs::test::disarm_allocation_failures();
        EXPECT_EQ(describe(h), "{*A1:15/1=1}");
    }
}

TEST_F(Puts, StringArraysCopyEveryStringAndKeepAbsentOnes)
{
    CTkvs h = make_set();
    std::wstring first = L"first", third = L"\u00e9\U0001F600";
    const wchar_t *mine[] = {first.c_str(), nullptr, third.c_str(), L""};
    ASSERT_EQ(run(CTkvs_PutStringArray, h, K, mine, 4u), ok());
    first[0] = L'F';
    EXPECT_EQ(describe(h), "{*A1:114/4=[\"first\",null,\"\\u{E9}\\u{1F600}\",\"\"]}");

    wchar_t **back = nullptr;
    int32_t count = 0;
    ASSERT_EQ(run(CTkvs_GetStringArray, h, K, &back, &count), ok());
    ASSERT_EQ(count, 4);
    EXPECT_NE(back[0], mine[0]);
    EXPECT_EQ(back[1], nullptr);

    ASSERT_EQ(run(CTkvs_PutStringArray, h, K, mine, 0u), ok());
    EXPECT_EQ(describe(h), "{*A1:114/0=[]}");
    EXPECT_EQ(run(CTkvs_PutStringArray, h, K, static_cast<const wchar_t *const *>(nullptr), 1u),
              fail(CT_errorBadParameter));
    EXPECT_EQ(describe(h), "{*A1:114/0=[]}");
}

// ---- Nested sets ----------------------------------------------------------

TEST_F(Puts, ANestedSetIsASnapshotThatThePairOwns)
{
    CTkvs h = make_set();
    CTkvs mine = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, mine, 1u, 10), ok());
    ASSERT_EQ(run(CTkvs_PutKVS, h, K, mine), ok());
    ASSERT_EQ(run(CTkvs_PutInt, mine, 2u, 20), ok());  // after the put: not seen

    CTkvs held = 0;
    ASSERT_EQ(run(CTkvs_GetKVS, h, K, &held), ok());
    EXPECT_NE(held, mine);
    EXPECT_EQ(describe(held), "{*1:15/1=10}");
    EXPECT_EQ(describe(mine), "{1:15/1=10; *2:15/1=20}");

    // A set put into itself holds a copy of what it held before.
    ASSERT_EQ(run(CTkvs_PutKVS, mine, 3u, mine), ok());
    EXPECT_EQ(describe(mine), "{1:15/1=10; 2:15/1=20; *3:61/1={1:15/1=10; *2:15/1=20}}");

    EXPECT_EQ(run(CTkvs_PutKVS, h, K + 1, 0u), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_PutKVS, h, K + 1, 0x7FFFFFF1u), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 1);
}

TEST_F(Gets, ANestedHandleIsLentNotCopied)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutKVS, h, K, make_set()), ok());
    CTkvs held = 0;
    ASSERT_EQ(run(CTkvs_GetKVS, h, K, &held), ok());
    ASSERT_EQ(run(CTkvs_PutInt, held, 1u, 5), ok());
    CTkvs again = 0;
    ASSERT_EQ(run(CTkvs_GetKVS, h, K, &again), ok());
    EXPECT_EQ(again, held);
    EXPECT_EQ(describe(h), "{*A1:61/1={*1:15/1=5}}");

    // Putting the lent set back under its own key copies it before the old
    // value goes.
    ASSERT_EQ(run(CTkvs_PutKVS, h, K, held), ok());
    EXPECT_FALSE(registered(held));
    EXPECT_EQ(describe(h), "{*A1:61/1={*1:15/1=5}}");
    ASSERT_EQ(run(CTkvs_GetKVS, h, K, &held), ok());

    // The caller destroys the lent set: the pair now holds a dead handle.
    ASSERT_EQ(run(CTkvs_Destroy, held), ok());
    again = 99;
    EXPECT_EQ(run(CTkvs_GetKVS, h, K, &again), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(destroy(h), ok());
}

TEST_F(Puts, KVSetArraysCopyEachSetAndKeepEmptyElements)
{
    CTkvs h = make_set();
    CTkvs a = make_set(), b = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, a, 1u, 1), ok());
    ASSERT_EQ(run(CTkvs_PutInt, b, 2u, 2), ok());
    const CTkvs handles[] = {a, 0, b};
    ASSERT_EQ(run(CTkvs_PutKVSArray, h, K, handles, 3u), ok());
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 5);
    EXPECT_EQ(describe(h), "{*A1:108/3=[{*1:15/1=1},0,{*2:15/1=2}]}");

    // The get lends the block, then fails at the empty element.
    CTkvs *back = nullptr;
    int32_t count = 0;
    EXPECT_EQ(run(CTkvs_GetKVSArray, h, K, &back, &count), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(count, 3);
    ASSERT_NE(back, nullptr);
    EXPECT_NE(back[0], a);
    EXPECT_EQ(back[1], 0u);

    const CTkvs full[] = {a, b};
    ASSERT_EQ(run(CTkvs_PutKVSArray, h, K + 1, full, 2u), ok());
    EXPECT_EQ(run(CTkvs_GetKVSArray, h, K + 1, &back, &count), ok());
    EXPECT_EQ(count, 2);
}

TEST_F(Puts, AKVSetArrayWithAnInvalidHandleStoresNothingAndKeepsNoCopy)
{
    CTkvs h = make_set();
    CTkvs a = make_set(), b = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, K, 1), ok());
    const CTkvs handles[] = {a, b, 0x7FFFFFF1u, a};
    EXPECT_EQ(run(CTkvs_PutKVSArray, h, K, handles, 4u), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(MRQkvs_GetNumKVS(), start_count() + 3);
    EXPECT_EQ(describe(h), "{*A1:15/1=1}");
    EXPECT_EQ(run(CTkvs_PutKVSArray, h, K, static_cast<const CTkvs *>(nullptr), 2u), fail(CT_errorBadParameter));
}

// ---- Argument checks and their order ------------------------------------

TEST_F(Puts, ChecksTheErrorReferenceThenTheHandleThenTheArguments)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, K, 1), ok());
    const std::uint32_t any = 0;
    EXPECT_EQ(CTkvs_PutInt(h, K + 1, 2, nullptr), CT_statusFail);
    EXPECT_EQ(CTkvs_PutKVS(h, K + 1, 0u, nullptr), CT_statusFail);
    EXPECT_EQ(CTkvs_PutModeArray(h, K + 1, nullptr, 0u, nullptr), CT_statusFail);
    const CTkvs dead = 0x7FFFFFF1u;
    EXPECT_EQ(run(CTkvs_PutModeArray, dead, K, static_cast<const uint32_t *>(nullptr), 0u),
              fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_PutKVS, dead, K, 0u), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(PutWide, dead, K, L"x"), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_PutStringArray, dead, K, static_cast<const wchar_t *const *>(nullptr), 1u),
              fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_PutServiceArray, h, K, &any, 0u), fail(CT_errorBadParameter));
    EXPECT_EQ(describe(h), "{*A1:15/1=1}");
}

TEST_F(Gets, RefuseMissingOutReferencesAsDocumented)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutMode, h, K, 1u), ok());
    const uint32_t one = 1;
    ASSERT_EQ(run(CTkvs_PutServiceArray, h, K + 1, &one, 1u), ok());

    EXPECT_EQ(run(CTkvs_GetMode, h, K, static_cast<uint32_t *>(nullptr)), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_GetService, h, K, static_cast<uint32_t *>(nullptr)), fail(CT_errorNoResource));
    EXPECT_EQ(run(CTkvs_GetIrange, h, K, static_cast<struct_Irange *>(nullptr)), warning(CT_errorNoResource));
    int32_t count = 0;
    uint32_t *elements = nullptr;
    EXPECT_EQ(run(CTkvs_GetSrvArray, h, K + 1, static_cast<uint32_t **>(nullptr), &count), fail(CT_errorBadParameter));
    EXPECT_EQ(run(CTkvs_GetSrvArray, h, K + 1, &elements, static_cast<int32_t *>(nullptr)),
              fail(CT_errorBadParameter));
    EXPECT_EQ(run(CTkvs_GetModeArray, h, K + 1, &elements, static_cast<int32_t *>(nullptr)),
              fail(CT_errorBadParameter));
    EXPECT_EQ(run(CTkvs_GetIrangeArray, h, K + 1, static_cast<struct_Irange **>(nullptr), &count),
              fail(CT_errorBadParameter));
    // The other gets refuse a null out-reference too, instead of writing through it.
    EXPECT_EQ(run(CTkvs_GetInt, h, K, static_cast<int32_t *>(nullptr)), fail(CT_errorBadParameter));
    EXPECT_EQ(run(CTkvs_GetString, h, K, static_cast<wchar_t **>(nullptr)), fail(CT_errorBadParameter));
    EXPECT_EQ(run(CTkvs_GetKVS, h, K, static_cast<CTkvs *>(nullptr)), fail(CT_errorBadParameter));

    // The handle is judged before the out-references; a null error reference first of all.
    const CTkvs dead = 0x7FFFFFF1u;
    EXPECT_EQ(run(CTkvs_GetMode, dead, K, static_cast<uint32_t *>(nullptr)), fail(CT_errorInvalidKVSet));
    EXPECT_EQ(run(CTkvs_GetIrange, dead, K, static_cast<struct_Irange *>(nullptr)), fail(CT_errorInvalidKVSet));
    uint32_t value = 77;
    EXPECT_EQ(CTkvs_GetMode(h, K, &value, nullptr), CT_statusFail);
    EXPECT_EQ(value, 77u);
}

TEST_F(Gets, NeitherChangeTheSetNorMoveItsCursor)
{
    CTkvs h = make_set();
    ASSERT_EQ(run(CTkvs_PutInt, h, 1u, 1), ok());
    ASSERT_EQ(run(PutWide, h, 2u, L"two"), ok());
    ASSERT_EQ(run(CTkvs_PutInt, h, 3u, 3), ok());
    uint32_t type = 0;
    ASSERT_EQ(run(CTkvs_GetType, h, 1u, &type), ok());
    const std::string before = describe(h);
    ASSERT_EQ(before, "{*1:15/1=1; 2:62/1=\"two\"; 3:15/1=3}");
    int32_t i = 0;
    wchar_t *s = nullptr;
    EXPECT_EQ(run(CTkvs_GetInt, h, 3u, &i), ok());
    EXPECT_EQ(run(CTkvs_GetString, h, 2u, &s), ok());
    EXPECT_EQ(run(CTkvs_GetInt, h, 2u, &i), warning(CT_errorNoSuchKey));
    EXPECT_EQ(run(CTkvs_GetInt, h, 9u, &i), warning(CT_errorNoSuchKey));
    EXPECT_EQ(describe(h), before);
}

}  // namespace
}  // namespace kvs::test
