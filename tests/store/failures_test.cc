// The failure rows of every exported store function and the order of the
// checks: error reference, handle, arguments (the key check accepts all).
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "store/pairs.h"
#include "store/registry.h"
#include "support/fixture.h"

namespace kvs {
namespace test {
namespace {

constexpr CTsymbol kKey = 0x3001;

// The handle a call is made with, and whether its arguments are bad.
using Invoke = std::function<CTstatus(CTkvs, CTerror *, bool badArgs)>;

struct Call {
    std::string name;
    Invoke invoke;
    CTerror unregistered;     // symbol for a handle that is not registered
    bool checksSignature;     // refuses a registered set with a broken signature
    CTstatus argStatus;       // with bad arguments on a sound set (0: no argument check)
    CTerror argSymbol;
};

void PrintTo(const Call &call, std::ostream *os) { *os << call.name; }

// Handles the calls use besides the one under test.
struct World {
    CTkvs good = 0;  // a sound set with an int under kKey
    CTkvs dead = 0;  // destroyed
};
World g_world;

template <class T>
T *out_ref(bool bad, T *storage)
{
    return bad ? nullptr : storage;
}

std::vector<Call> all_calls()
{
    std::vector<Call> calls;
    static uint32_t u32;
    static int32_t i32;
    static const wchar_t *const strings[] = {L"s"};

    auto add = [&](std::string name, Invoke f, CTerror unregistered = CT_errorInvalidKVSet, bool sig = true,
                   CTstatus argStatus = 0, CTerror argSymbol = 0) {
        calls.push_back({std::move(name), std::move(f), unregistered, sig, argStatus, argSymbol});
    };

    // The exported families, listed here rather than taken from the
    // implementation's own tables, so that a row dropped there fails to
    // build here instead of silently dropping its test. Scalars:
    // X(Name, value type, symbol of the get's bad out reference).
#define SCALAR_CALLS(X)                                        \
    X(Bool, uint32_t, CT_errorBadParameter)                    \
    X(Conference, uint32_t, CT_errorBadParameter)              \
    X(Group, uint32_t, CT_errorBadParameter)                   \
    X(Int, int32_t, CT_errorBadParameter)                      \
    X(Mode, uint32_t, CT_errorNoResource)                      \
    X(Session, uint32_t, CT_errorBadParameter)                 \
    X(Service, uint32_t, CT_errorNoResource)                   \
    X(Status, CTstatus, CT_errorBadParameter)                  \
    X(Symbol, CTsymbol, CT_errorBadParameter)                  \
    X(Error, CTerror, CT_errorBadParameter)                    \
    X(Time, uint32_t, CT_errorBadParameter)                    \
    X(Uint, uint32_t, CT_errorBadParameter)                    \
    X(Stream, uint32_t, CT_errorBadParameter)                  \
    X(Connection, uint32_t, CT_errorBadParameter)              \
    X(Char, uint16_t, CT_errorBadParameter)
    // Fixed-size arrays: X(put name, get name, element type).
#define ARRAY_CALLS(X)                                         \
    X(BoolArray, BoolArray, uint32_t)                          \
    X(ByteArray, ByteArray, uint8_t)                           \
    X(CONFArray, CONFArray, uint32_t)                          \
    X(GRPArray, GRPArray, uint32_t)                            \
    X(GroupArray, GroupArray, uint32_t)                        \
    X(IntArray, IntArray, int32_t)                             \
    X(IrangeArray, IrangeArray, struct_Irange)                 \
    X(IRangeArray, IRangeArray, struct_Irange)                 \
    X(ModeArray, ModeArray, uint32_t)                          \
    X(SESArray, SESArray, uint32_t)                            \
    X(SessionArray, SessionArray, uint32_t)                    \
    X(ServiceArray, SrvArray, uint32_t)                        \
    X(StatusArray, StatusArray, CTstatus)                      \
    X(SymbolArray, SymbolArray, CTsymbol)                      \
    X(ErrorArray, ErrorArray, CTerror)                         \
    X(CONNArray, CONNArray, uint32_t)                          \
    X(UintArray, UintArray, uint32_t)                          \
    X(TimeArray, TimeArray, uint32_t)

#define SCALAR_ROWS(Name, T, getArgSymbol)                                                                  \
    add("Put" #Name, [](CTkvs h, CTerror *e, bool) { return CTkvs_Put##Name(h, kKey, T{}, e); });           \
    add("Get" #Name, [](CTkvs h, CTerror *e, bool bad) {                                                    \
        static T v;                                                                                         \
        return CTkvs_Get##Name(h, kKey, out_ref(bad, &v), e);                                               \
    }, CT_errorInvalidKVSet, true, CT_statusFail, getArgSymbol);
    SCALAR_CALLS(SCALAR_ROWS)
#undef SCALAR_ROWS

#define ARRAY_ROWS(PutName, GetName, T)                                                                     \
    add("Put" #PutName, [](CTkvs h, CTerror *e, bool bad) {                                                 \
        static T v[1];                                                                                      \
        return CTkvs_Put##PutName(h, kKey, bad ? nullptr : v, 1, e);                                        \
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorBadParameter);                                   \
    add("Get" #GetName, [](CTkvs h, CTerror *e, bool bad) {                                                 \
        static T *v;                                                                                        \
        return CTkvs_Get##GetName(h, kKey, out_ref(bad, &v), &i32, e);                                      \
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorBadParameter);
    ARRAY_CALLS(ARRAY_ROWS)
#undef ARRAY_ROWS
#undef SCALAR_CALLS
#undef ARRAY_CALLS

    add("PutIrange", [](CTkvs h, CTerror *e, bool) { return CTkvs_PutIrange(h, kKey, 1, 2, e); });
    add("PutIRange", [](CTkvs h, CTerror *e, bool) { return CTkvs_PutIRange(h, kKey, 1, 2, e); });
    add("GetIrange", [](CTkvs h, CTerror *e, bool bad) {
        static struct_Irange r;
        return CTkvs_GetIrange(h, kKey, out_ref(bad, &r), e);
    }, CT_errorInvalidKVSet, true, CT_statusWarning, CT_errorNoResource);
    add("GetIRange", [](CTkvs h, CTerror *e, bool bad) {
        static struct_Irange r;
        return CTkvs_GetIRange(h, kKey, out_ref(bad, &r), e);
    }, CT_errorInvalidKVSet, true, CT_statusWarning, CT_errorNoResource);
    add("PutString", [](CTkvs h, CTerror *e, bool) { return CTkvs_PutString(h, kKey, L"x", e); });
    add("PutNarrowString", [](CTkvs h, CTerror *e, bool) { return MRQkvs_PutNarrowString(h, kKey, "x", e); });
    add("GetString", [](CTkvs h, CTerror *e, bool bad) {
        static wchar_t *s;
        return CTkvs_GetString(h, kKey, out_ref(bad, &s), e);
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorBadParameter);
    add("PutKVS", [](CTkvs h, CTerror *e, bool bad) { return CTkvs_PutKVS(h, kKey, bad ? g_world.dead : g_world.good, e); },
        CT_errorInvalidKVSet, true, CT_statusFail, CT_errorInvalidKVSet);
    add("GetKVS", [](CTkvs h, CTerror *e, bool bad) {
        static CTkvs n;
        return CTkvs_GetKVS(h, kKey, out_ref(bad, &n), e);
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorBadParameter);
    add("PutStringArray", [](CTkvs h, CTerror *e, bool bad) {
        return CTkvs_PutStringArray(h, kKey, bad ? nullptr : strings, 1, e);
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorBadParameter);
    add("PutKVSArray", [](CTkvs h, CTerror *e, bool bad) {
        const CTkvs handles[] = {g_world.good, bad ? g_world.dead : 0};
        return CTkvs_PutKVSArray(h, kKey, handles, 2, e);
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorInvalidKVSet);
    add("GetStringArray", [](CTkvs h, CTerror *e, bool bad) {
        static wchar_t **s;
        return CTkvs_GetStringArray(h, kKey, out_ref(bad, &s), &i32, e);
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorBadParameter);
    add("GetKVSArray", [](CTkvs h, CTerror *e, bool bad) {
        static CTkvs *s;
        return CTkvs_GetKVSArray(h, kKey, out_ref(bad, &s), &i32, e);
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorBadParameter);

    add("GetNextKey", [](CTkvs h, CTerror *e, bool bad) {
        CTsymbol key = CT_keyFirst;
        return CTkvs_GetNextKey(h, &key, out_ref(bad, &u32), e);
    }, CT_errorNoResource, true, CT_statusFail, CT_errorNoResource);
    add("GetNextKey/key", [](CTkvs h, CTerror *e, bool bad) {
        static CTsymbol key;
        key = CT_keyFirst;
        return CTkvs_GetNextKey(h, out_ref(bad, &key), &u32, e);
    }, CT_errorNoResource, true, CT_statusFail, CT_errorNoResource);
    add("GetNext", [](CTkvs h, CTerror *e, bool) {
        CTsymbol cursor = CT_keyFirst, key = 0;
        return CTkvs_GetNext(h, &cursor, &key, &u32, &i32, e);
    }, CT_errorNoResource);
    // The type query and match look the handle up without the signature check.
    add("GetType", [](CTkvs h, CTerror *e, bool) { return CTkvs_GetType(h, 0x7777, &u32, e); }, CT_errorNoResource,
        false);
    add("Remove", [](CTkvs h, CTerror *e, bool) {
        const CTsymbol keys[] = {0x7777};
        return CTkvs_Remove(h, keys, 1, e);
    }, CT_errorNoResource);
    add("Clear", [](CTkvs h, CTerror *e, bool) { return CTkvs_Clear(h, e); }, CT_errorNoResource);
    add("Copy/target", [](CTkvs h, CTerror *e, bool bad) {
        return CTkvs_Copy(h, bad ? g_world.dead : g_world.good, e);
    }, CT_errorInvalidKVSet, true, CT_statusFail, CT_errorInvalidKVSet);
    add("Copy/source", [](CTkvs h, CTerror *e, bool) { return CTkvs_Copy(g_world.good, h, e); });
    add("Match/first", [](CTkvs h, CTerror *e, bool) { return CTkvs_Match(h, g_world.good, &u32, e); },
        CT_errorNoResource, false);
    add("Match/second", [](CTkvs h, CTerror *e, bool) { return CTkvs_Match(g_world.good, h, &u32, e); },
        CT_errorNoResource, false);
    add("Destroy", [](CTkvs h, CTerror *e, bool) { return CTkvs_Destroy(h, e); });
    return calls;
}

class FailureRows : public KvsTest, public ::testing::WithParamInterface<Call> {
protected:
    void SetUp() override
    {
        KvsTest::SetUp();
        good_ = make_set();
        CTerror e = 0;
        ASSERT_EQ(CTkvs_PutInt(good_, kKey, 5, &e), CT_statusOK);
        CTkvs gone = 0;
        ASSERT_EQ(CTkvs_Create(&gone, &e), CT_statusOK);
        ASSERT_EQ(CTkvs_Destroy(gone, &e), CT_statusOK);
        g_world = {good_, gone};
        broken_ = make_set();
        header_ = registry_find(broken_);
        ASSERT_NE(header_, nullptr);
        header_->signature[0] = 'X';
    }
    void TearDown() override
    {
        if (header_ != nullptr && ValidateKVS(broken_) != CT_errorOK && registry_find(broken_) == header_)
            header_->signature[0] = 'K';
        KvsTest::TearDown();
    }

    CTkvs good_ = 0;
    CTkvs broken_ = 0;
    KVSetHeader *header_ = nullptr;
};

TEST_P(FailureRows, ErrorReferenceThenHandleThenArguments)
{
    const Call &c = GetParam();
    CTkvs before = snapshot(good_);
    const std::uint32_t sets = MRQkvs_GetNumKVS();

    // A null error reference is refused first, whatever else is wrong.
    EXPECT_EQ(c.invoke(good_, nullptr, false), CT_statusFail);
    EXPECT_EQ(c.invoke(g_world.dead, nullptr, true), CT_statusFail);

    // Then the handle, ahead of bad arguments.
    CTerror e = 0;
    EXPECT_EQ(c.invoke(g_world.dead, &e, true), CT_statusFail);
    EXPECT_EQ(e, c.unregistered);
    if (c.checksSignature) {
        e = 0;
        EXPECT_EQ(c.invoke(broken_, &e, true), CT_statusFail);
        EXPECT_EQ(e, CT_errorInvalidKVSet);
        EXPECT_EQ(MRQkvs_GetNumPairs(broken_), 0);
    }

    // Then the arguments.
    if (c.argSymbol != 0) {
        e = 0;
        EXPECT_EQ(c.invoke(good_, &e, true), c.argStatus);
        EXPECT_EQ(e, c.argSymbol);
    }

    // Nothing of this changed the sound set or the registry.
    EXPECT_EQ(match(good_, before), 1u);
    EXPECT_EQ(MRQkvs_GetNumKVS(), sets);
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FailureRows, ::testing::ValuesIn(all_calls()),
                         [](const ::testing::TestParamInfo<Call> &info) {
                             std::string n = info.param.name;
                             for (char &ch : n)
                                 if (ch == '/') ch = '_';
                             return n;
                         });

class FailureCases : public KvsTest {};

TEST_F(FailureCases, DestroyWithoutErrorReferenceLeavesTheSet)
{
    CTkvs h = make_set();
    EXPECT_EQ(CTkvs_Destroy(h, nullptr), CT_statusFail);
    EXPECT_EQ(ValidateKVS(h), CT_errorOK);
}

TEST_F(FailureCases, RangePairWithoutAValueBlock)
{
    CTkvs h = make_set();
    KVSetHeader *header = registry_find(h);
    ASSERT_NE(header, nullptr);
    CTerror e = 0;
    ASSERT_EQ(store_pair(header, kKey, KV_TYPE_IRANGE, 2, nullptr, &e), CT_statusOK);
    struct_Irange r{4, 4};
    EXPECT_EQ(CTkvs_GetIrange(h, kKey, &r, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorNoResource);
    EXPECT_EQ(r.lower, 4);
}

TEST_F(FailureCases, KVSetArrayWithABadElementStoresNothingAndKeepsNoCopy)
{
    CTkvs h = make_set();
    CTkvs a = make_set();
    CTkvs b = make_set();
    CTkvs x = 0;
    CTerror e = 0;
    ASSERT_EQ(CTkvs_Create(&x, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_Destroy(x, &e), CT_statusOK);
    const std::uint32_t sets = MRQkvs_GetNumKVS();
    const CTkvs handles[] = {a, 0, b, x};
    EXPECT_EQ(CTkvs_PutKVSArray(h, kKey, handles, 4, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorInvalidKVSet);
    EXPECT_EQ(MRQkvs_GetNumKVS(), sets);
    EXPECT_EQ(MRQkvs_GetNumPairs(h), 0);
}

}  // namespace
}  // namespace test
}  // namespace kvs
