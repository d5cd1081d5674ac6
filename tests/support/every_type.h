// Sample KV-Sets built through the public API: every type code, nested sets
// and arrays of them. Shared by the seed-corpus generator and the tests.
#ifndef KVSET_FUZZ_SAMPLE_SETS_H
#define KVSET_FUZZ_SAMPLE_SETS_H

#include <cstdint>

#include "kvset/ctkvs.h"

namespace samples {

// A set with one pair of every value type (and a null string); with
// `emptyElement` its KV-Set array also holds an empty element (handle 0),
// which only the file writer can write. The caller destroys the result.
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

    CTsymbol key = 0x100;
    CTkvs_PutBool(set, key++, 1, &e);
    CTkvs_PutConference(set, key++, 0x12, &e);
    CTkvs_PutGroup(set, key++, 0x14, &e);
    CTkvs_PutInt(set, key++, -15, &e);
    CTkvs_PutMode(set, key++, 0x16, &e);
    CTkvs_PutSession(set, key++, 0x18, &e);
    CTkvs_PutService(set, key++, 0x19, &e);
    CTkvs_PutStatus(set, key++, 3, &e);
    CTkvs_PutSymbol(set, key++, 0x00010050, &e);
    CTkvs_PutTime(set, key++, 0x22, &e);
    CTkvs_PutUint(set, key++, 0xFFFFFFFF, &e);
    CTkvs_PutStream(set, key++, 0x25, &e);
    CTkvs_PutChar(set, key++, 0x263A, &e);
    CTkvs_PutError(set, key++, CT_errorBadFormat, &e);
    CTkvs_PutConnection(set, key++, 0x28, &e);
    CTkvs_PutIrange(set, key++, -60, 60, &e);
    CTkvs_PutKVS(set, key++, inner, &e);
    CTkvs_PutString(set, key++, L"string \U00010348", &e);
    CTkvs_PutString(set, key++, static_cast<const wchar_t *>(nullptr), &e);

    const std::uint32_t words[] = {1, 0, 0xFFFFFFFF};
    const std::int32_t ints[] = {-1, 0, 106};
    const std::uint8_t bytes[] = {0x00, 0x7F, 0xFF};
    const struct_Irange ranges[] = {{-1, 1}, {107, 108}};
    const wchar_t *strings[] = {L"a", nullptr, L"", L"\U0001F600"};
    CTkvs_PutBoolArray(set, key++, words, 3, &e);
    CTkvs_PutByteArray(set, key++, bytes, 3, &e);
    CTkvs_PutCONFArray(set, key++, words, 3, &e);
    CTkvs_PutGroupArray(set, key++, words, 3, &e);
    CTkvs_PutIntArray(set, key++, ints, 3, &e);
    CTkvs_PutIrangeArray(set, key++, ranges, 2, &e);
    CTkvs_PutModeArray(set, key++, words, 3, &e);
    CTkvs_PutSessionArray(set, key++, words, 3, &e);
    CTkvs_PutServiceArray(set, key++, words, 3, &e);
    CTkvs_PutStatusArray(set, key++, words, 3, &e);
    CTkvs_PutStringArray(set, key++, strings, 4, &e);
    CTkvs_PutSymbolArray(set, key++, words, 3, &e);
    CTkvs_PutErrorArray(set, key++, words, 3, &e);
    CTkvs_PutCONNArray(set, key++, words, 3, &e);
    CTkvs_PutUintArray(set, key++, words, 3, &e);
    CTkvs_PutTimeArray(set, key++, words, 0, &e);
    const CTkvs sets[] = {inner, emptyElement ? 0 : leaf, leaf};
    CTkvs_PutKVSArray(set, key++, sets, 3, &e);

    CTkvs_Destroy(inner, &e);
    CTkvs_Destroy(leaf, &e);
    return set;
}

}  // namespace samples

#endif
