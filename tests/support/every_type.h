// The every-type builder shared by the unit tests, the seed-corpus generator
// and the fuzz targets: one pair of each value type, nested sets and arrays
// of them, through the public API.
#ifndef KVSET_TESTS_SUPPORT_EVERY_TYPE_H
#define KVSET_TESTS_SUPPORT_EVERY_TYPE_H

#include <cstdint>

#include "kvset/ctkvs.h"

namespace kvs::test {

// The key of the nested-set pair put_every_type stores.
constexpr CTsymbol kEveryTypeNestedKey = 0x110;

// Registered sets put_every_type(set, n, n, true) adds for a set n that holds
// no nested set: the nested pair's copy and two KV-Set array elements.
constexpr std::uint32_t kNestedInEveryType = 3;

// Puts one pair of every value type into `set`, keys 0x100 upwards, and a
// null string. Values have high bytes set in every shape (-15, 0xFFFFFFFF,
// 0x00010050, U+263A, a character outside the BMP), and the arrays hold an
// absent string, an empty string and a zero-length array. `nested` is the
// nested pair and the KV-Set array's first element; `element` fills the
// array's other two slots, and with `emptyElement` the middle one is an empty
// element (handle 0), which only the file writer can write. True when every
// put succeeded.
inline bool put_every_type(CTkvs set, CTkvs nested, CTkvs element, bool emptyElement)
{
    CTerror e = 0;
    bool all = true;
    auto done = [&all](CTstatus status) { all = all && status == CT_statusOK; };
    CTsymbol key = 0x100;
    done(CTkvs_PutBool(set, key++, 1, &e));
    done(CTkvs_PutConference(set, key++, 0x12, &e));
    done(CTkvs_PutGroup(set, key++, 0x14, &e));
    done(CTkvs_PutInt(set, key++, -15, &e));
    done(CTkvs_PutMode(set, key++, 0x16, &e));
    done(CTkvs_PutSession(set, key++, 0x18, &e));
    done(CTkvs_PutService(set, key++, 0x19, &e));
    done(CTkvs_PutStatus(set, key++, 3, &e));
    done(CTkvs_PutSymbol(set, key++, 0x00010050, &e));
    done(CTkvs_PutTime(set, key++, 0x22, &e));
    done(CTkvs_PutUint(set, key++, 0xFFFFFFFF, &e));
    done(CTkvs_PutStream(set, key++, 0x25, &e));
    done(CTkvs_PutChar(set, key++, 0x263A, &e));
    done(CTkvs_PutError(set, key++, CT_errorBadFormat, &e));
    done(CTkvs_PutConnection(set, key++, 0x28, &e));
    done(CTkvs_PutIrange(set, key++, -60, 60, &e));
    done(CTkvs_PutKVS(set, key++, nested, &e));
    done(CTkvs_PutString(set, key++, L"string \U00010348", &e));
    done(CTkvs_PutString(set, key++, static_cast<const wchar_t *>(nullptr), &e));

    const std::uint32_t words[] = {1, 0, 0xFFFFFFFF};
    const std::int32_t ints[] = {-1, 0, 106};
    const std::uint8_t bytes[] = {0x00, 0x7F, 0xFF};
    const struct_Irange ranges[] = {{-1, 1}, {107, 108}};
    const wchar_t *strings[] = {L"a", nullptr, L"", L"\U0001F600"};
    done(CTkvs_PutBoolArray(set, key++, words, 3, &e));
    done(CTkvs_PutByteArray(set, key++, bytes, 3, &e));
    done(CTkvs_PutCONFArray(set, key++, words, 3, &e));
    done(CTkvs_PutGroupArray(set, key++, words, 3, &e));
    done(CTkvs_PutIntArray(set, key++, ints, 3, &e));
    done(CTkvs_PutIrangeArray(set, key++, ranges, 2, &e));
    done(CTkvs_PutModeArray(set, key++, words, 3, &e));
    done(CTkvs_PutSessionArray(set, key++, words, 3, &e));
    done(CTkvs_PutServiceArray(set, key++, words, 3, &e));
    done(CTkvs_PutStatusArray(set, key++, words, 3, &e));
    done(CTkvs_PutStringArray(set, key++, strings, 4, &e));
    done(CTkvs_PutSymbolArray(set, key++, words, 3, &e));
    done(CTkvs_PutErrorArray(set, key++, words, 3, &e));
    done(CTkvs_PutCONNArray(set, key++, words, 3, &e));
    done(CTkvs_PutUintArray(set, key++, words, 3, &e));
    done(CTkvs_PutTimeArray(set, key++, words, 0, &e));
    const CTkvs sets[] = {nested, emptyElement ? 0 : element, element};
    done(CTkvs_PutKVSArray(set, key++, sets, 3, &e));
    return all;
}

// A new set built by put_every_type whose nested set holds a string with
// characters outside ASCII and a set nested two deep. The caller destroys
// the result.
inline CTkvs every_type(bool emptyElement)
{
    CTerror e = 0;
    CTkvs inner = 0, leaf = 0, set = 0;
    CTkvs_Create(&leaf, &e);
    CTkvs_PutInt(leaf, 1, -1, &e);
    CTkvs_Create(&inner, &e);
    CTkvs_PutString(inner, 1, L"inner \u00e9\U0001F600", &e);
    CTkvs_PutKVS(inner, 2, leaf, &e);
    CTkvs_Create(&set, &e);
    put_every_type(set, inner, leaf, emptyElement);
    CTkvs_Destroy(inner, &e);
    CTkvs_Destroy(leaf, &e);
    return set;
}

}  // namespace kvs::test

#endif
