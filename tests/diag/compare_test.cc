// MRQkvs_Compare: the three-way result and the error symbol for equal,
// different and failing comparisons, nested sets and KV-Set arrays included.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "diag_support.h"
#include "kvset/ctkvs.h"

namespace {

using diagtest::DeadHandle;
using diagtest::Nested;

using Put = std::function<void(CTkvs)>;

Put Int(CTsymbol key, int32_t v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutInt(s, key, v, &e)); };
}
Put Uint(CTsymbol key, uint32_t v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutUint(s, key, v, &e)); };
}
Put Bool(CTsymbol key, uint32_t v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutBool(s, key, v, &e)); };
}
Put Char(CTsymbol key, uint16_t v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutChar(s, key, v, &e)); };
}
Put Range(CTsymbol key, int32_t lower, int32_t upper)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutIrange(s, key, lower, upper, &e)); };
}
Put Str(CTsymbol key, const wchar_t *v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutString(s, key, v, &e)); };
}
Put Bytes(CTsymbol key, std::vector<uint8_t> v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutByteArray(s, key, v.data(), static_cast<uint32_t>(v.size()), &e)); };
}
Put Ints(CTsymbol key, std::vector<int32_t> v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutIntArray(s, key, v.data(), static_cast<uint32_t>(v.size()), &e)); };
}
Put Ranges(CTsymbol key, std::vector<struct_Irange> v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutIrangeArray(s, key, v.data(), static_cast<uint32_t>(v.size()), &e)); };
}
Put Strs(CTsymbol key, std::vector<const wchar_t *> v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutStringArray(s, key, v.data(), static_cast<uint32_t>(v.size()), &e)); };
}
Put Syms(CTsymbol key, std::vector<CTsymbol> v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutSymbolArray(s, key, v.data(), static_cast<uint32_t>(v.size()), &e)); };
}
Put Set(CTsymbol key, CTkvs nested)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutKVS(s, key, nested, &e)); };
}
Put Sets(CTsymbol key, std::vector<CTkvs> v)
{
    return [=](CTkvs s) { PUT_OK(CTkvs_PutKVSArray(s, key, v.data(), static_cast<uint32_t>(v.size()), &e)); };
}
Put Raw(CTsymbol key, uint32_t type, uint32_t v)
{
    return [=](CTkvs s) { diagtest::PutRaw(s, key, type, v); };
}

class Compare : public kvs::test::KvsTest {
protected:
    CTkvs Make(std::initializer_list<Put> puts)
    {
        CTkvs s = make_set();
        for (const Put &put : puts) put(s);
        return s;
    }

    // A set whose nested set (single, or the first element of a KV-Set
    // array) has been destroyed by a caller through its lent handle.
    CTkvs WithDestroyedNested(bool inArray)
    {
        CTkvs inner = Make({Int(1, 1)});
        CTkvs outer = Make({inArray ? Sets(2, {inner}) : Set(2, inner)});
        CTkvs lent = 0;
        CTerror e = 0;
        if (inArray) {
            CTkvs *handles = nullptr;
            int32_t count = 0;
            EXPECT_EQ(CTkvs_GetKVSArray(outer, 2, &handles, &count, &e), CT_statusOK);
            lent = handles[0];
        } else {
            lent = Nested(outer, 2);
        }
        EXPECT_EQ(CTkvs_Destroy(lent, &e), CT_statusOK);
        return outer;
    }

    // Equal content in two sets of every shape.
    CTkvs EveryShape()
    {
        CTkvs deep = Make({Str(1, L"deep")});
        CTkvs nested = Make({Int(1, 5), Set(2, deep)});
        return Make({Int(1, -1), Uint(2, 7), Bool(3, 1), Char(4, u'q'), Range(5, -3, 3), Str(6, L"Text"),
                     Str(7, nullptr), Bytes(8, {0, 0xFF}), Ints(9, {1, 2, 3}), Ranges(10, {{1, 2}, {3, 4}}),
                     Strs(11, {L"a", nullptr, L""}), Syms(12, {CT_keyFirst}), Set(13, nested),
                     Sets(14, {nested, deep}), Raw(15, KV_TYPE_ERROR, CT_errorOK), Ints(16, {})});
    }
};

TEST_F(Compare, ResultAndErrorTable)
{
    struct Case {
        const char *what;
        std::function<std::pair<CTkvs, CTkvs>()> sets;
        int32_t result;
        CTerror error;
    };
    const CTkvs dead = DeadHandle();
    const Case cases[] = {
        {"equal sets of every shape", [&] { return std::make_pair(EveryShape(), EveryShape()); }, 0, CT_errorOK},
        {"a set with itself", [&] { CTkvs s = EveryShape(); return std::make_pair(s, s); }, 0, CT_errorOK},
        {"empty before any set", [&] { return std::make_pair(Make({}), Make({Int(1, 1)})); }, 0, CT_errorOK},
        {"any set before empty", [&] { return std::make_pair(Make({Int(1, 1)}), Make({})); }, 0, CT_errorOK},
        {"A,B against A,B,C",
         [&] { return std::make_pair(Make({Int(1, 1), Int(2, 2)}), Make({Int(1, 1), Int(2, 2), Int(3, 3)})); }, 0,
         CT_errorOK},
        {"B,A against A,B", [&] { return std::make_pair(Make({Int(2, 2), Int(1, 1)}), Make({Int(1, 1), Int(2, 2)})); },
         1, CT_errorOK},
        {"same key and value, int and uint", [&] { return std::make_pair(Make({Int(1, 4)}), Make({Uint(1, 4)})); }, 1,
         CT_errorOK},
        {"same value, other key", [&] { return std::make_pair(Make({Int(1, 4)}), Make({Int(2, 4)})); }, 1,
         CT_errorOK},
        {"strings differing in case", [&] { return std::make_pair(Make({Str(1, L"Line")}), Make({Str(1, L"line")})); },
         1, CT_errorOK},
        {"equal chars", [&] { return std::make_pair(Make({Char(1, u'a')}), Make({Char(1, u'a')})); }, 0, CT_errorOK},
        {"different chars", [&] { return std::make_pair(Make({Char(1, u'a')}), Make({Char(1, u'b')})); }, 1,
         CT_errorOK},
        {"booleans 1 and 2", [&] { return std::make_pair(Make({Bool(1, 1)}), Make({Bool(1, 2)})); }, 1, CT_errorOK},
        {"ranges differing in the lower bound",
         [&] { return std::make_pair(Make({Range(1, 1, 5)}), Make({Range(1, 2, 5)})); }, 1, CT_errorOK},
        {"byte arrays differing in the last byte",
         [&] { return std::make_pair(Make({Bytes(1, {1, 2, 3})}), Make({Bytes(1, {1, 2, 4})})); }, 1, CT_errorOK},
        {"int arrays of different counts",
         [&] { return std::make_pair(Make({Ints(1, {1, 2})}), Make({Ints(1, {1, 2, 3})})); }, 1, CT_errorOK},
        {"range arrays differing in an upper bound",
         [&] { return std::make_pair(Make({Ranges(1, {{1, 2}, {3, 4}})}), Make({Ranges(1, {{1, 2}, {3, 5}})})); }, 1,
         CT_errorOK},
        {"two absent strings", [&] { return std::make_pair(Make({Str(1, nullptr)}), Make({Str(1, nullptr)})); }, 0,
         CT_errorOK},
        {"absent against empty string", [&] { return std::make_pair(Make({Str(1, nullptr)}), Make({Str(1, L"")})); },
         1, CT_errorOK},
        {"empty string against absent", [&] { return std::make_pair(Make({Str(1, L"")}), Make({Str(1, nullptr)})); },
         1, CT_errorOK},
        {"string arrays with absent elements",
         [&] { return std::make_pair(Make({Strs(1, {nullptr, L"x"})}), Make({Strs(1, {nullptr, L"x"})})); }, 0,
         CT_errorOK},
        {"absent against empty string element",
         [&] { return std::make_pair(Make({Strs(1, {L"x", nullptr})}), Make({Strs(1, {L"x", L""})})); }, 1,
         CT_errorOK},
        {"nested sets differing two levels down",
         [&] {
             return std::make_pair(Make({Set(1, Make({Set(2, Make({Int(3, 1)}))}))}),
                                   Make({Set(1, Make({Set(2, Make({Int(3, 2)}))}))}));
         },
         1, CT_errorOK},
        {"one-element KV-Set arrays of differing sets",
         [&] { return std::make_pair(Make({Sets(1, {Make({Int(3, 1)})})}), Make({Sets(1, {Make({Int(3, 2)})})})); },
         1, CT_errorOK},
        {"a KV-Set array with an empty element, with itself",
         [&] {
             CTkvs s = Make({Sets(1, {Make({Int(3, 1)}), 0})});
             return std::make_pair(s, s);
         },
         1, CT_errorInvalidKVSet},
        {"destroyed nested set", [&] { return std::make_pair(WithDestroyedNested(false), WithDestroyedNested(false)); },
         -1, CT_errorInvalidKVSet},
        {"valid against destroyed nested set",
         [&] { return std::make_pair(Make({Set(2, Make({Int(1, 1)}))}), WithDestroyedNested(false)); }, -1,
         CT_errorInvalidKVSet},
        {"destroyed set in a KV-Set array",
         [&] { return std::make_pair(WithDestroyedNested(true), WithDestroyedNested(true)); }, 1,
         CT_errorInvalidKVSet},
        {"unregistered second handle", [&] { return std::make_pair(Make({Int(1, 1)}), dead); }, -1,
         CT_errorInvalidKVSet},
        {"unregistered first handle", [&] { return std::make_pair(dead, Make({Int(1, 1)})); }, -1,
         CT_errorInvalidKVSet},
        {"pairs of no known type", [&] { return std::make_pair(Make({Raw(1, 99, 0)}), Make({Raw(1, 99, 0)})); }, -1,
         CT_errorInvalidKVSet},
        {"a difference before a pair of no known type",
         [&] {
             return std::make_pair(Make({Int(1, 1), Raw(2, 99, 0)}), Make({Int(1, 2), Raw(2, 99, 0)}));
         },
         1, CT_errorOK},
    };
    for (const Case &c : cases) {
        const auto sets = c.sets();
        CTerror error = 0xDEAD;
        EXPECT_EQ(MRQkvs_Compare(sets.first, sets.second, &error), c.result) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

TEST_F(Compare, RefusesANullErrorReferenceAndABrokenSignature)
{
    const CTkvs s = Make({Int(1, 1)});
    EXPECT_EQ(MRQkvs_Compare(s, s, nullptr), -1);

    const CTkvs broken = Make({Int(1, 1)});
    kvs::KVSetHeader *header = kvs::registry_find(broken);
    ASSERT_NE(header, nullptr);
    header->signature[0] = 'X';
    CTerror error = 0;
    EXPECT_EQ(MRQkvs_Compare(s, broken, &error), -1);
    EXPECT_EQ(error, CT_errorInvalidKVSet);
    header->signature[0] = 'K';
}

}  // namespace
