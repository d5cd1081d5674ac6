// A program built against the installed package: it calls the store's API
// and checks the answers, checks the loaded library's version against the
// headers, and catches an exception of the class layer (whose base classes
// live in the sibling libraries).
#include <kvset/kvset.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

static int failures = 0;
static void expect(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "consumer: %s failed\n", what);
        ++failures;
    }
}

int main()
{
    CTerror e = 0;
    CTkvs a = 0, b = 0;
    expect(CTkvs_Create(&a, &e) == CT_statusOK, "create");
    expect(CTkvs_Create(&b, &e) == CT_statusOK, "create");
    expect(ValidateKVS(a) == CT_errorOK, "validate");
    expect(CTkvs_PutInt(a, 1, -5, &e) == CT_statusOK, "put int");
    expect(CTkvs_PutUint(a, 2, 7, &e) == CT_statusOK, "put uint");
    expect(CTkvs_PutChar(a, 3, 0x263A, &e) == CT_statusOK, "put char");
    expect(CTkvs_PutIrange(a, 4, -1, 1, &e) == CT_statusOK, "put range");
    expect(CTkvs_PutString(a, 5, L"wide", &e) == CT_statusOK, "put wide string");
    expect(CTkvs_PutString(a, 6, "narrow", &e) == CT_statusOK, "put narrow string (C++ overload)");
    expect(MRQkvs_PutNarrowString(a, 7, "narrow", &e) == CT_statusOK, "put narrow string");
    expect(CTkvs_PutKVS(a, 8, b, &e) == CT_statusOK, "put nested");
    const int32_t ints[] = {1, 2};
    const uint32_t uints[] = {3, 4};
    const struct_Irange ranges[] = {{1, 2}};
    const uint8_t bytes[] = {0xAB};
    const wchar_t *strings[] = {L"x", nullptr};
    const CTkvs handles[] = {b, 0};
    expect(CTkvs_PutIntArray(a, 9, ints, 2, &e) == CT_statusOK, "put int array");
    expect(CTkvs_PutUintArray(a, 10, uints, 2, &e) == CT_statusOK, "put uint array");
    expect(CTkvs_PutIrangeArray(a, 11, ranges, 1, &e) == CT_statusOK, "put range array");
    expect(CTkvs_PutByteArray(a, 12, bytes, 1, &e) == CT_statusOK, "put byte array");
    expect(CTkvs_PutStringArray(a, 13, strings, 2, &e) == CT_statusOK, "put string array");
    expect(CTkvs_PutKVSArray(a, 14, handles, 2, &e) == CT_statusOK, "put set array");
    expect(MRQkvs_GetNumPairs(a) == 14, "pair count");

    int32_t i = 0;
    uint32_t u = 0;
    uint16_t c = 0;
    struct_Irange r{};
    wchar_t *s = nullptr;
    CTkvs n = 0;
    int32_t *ia = nullptr;
    uint32_t *ua = nullptr;
    struct_Irange *ra = nullptr;
    uint8_t *ba = nullptr;
    wchar_t **sa = nullptr;
    CTkvs *ka = nullptr;
    int32_t count = 0;
    expect(CTkvs_GetInt(a, 1, &i, &e) == CT_statusOK && i == -5, "get int");
    expect(CTkvs_GetUint(a, 2, &u, &e) == CT_statusOK && u == 7, "get uint");
    expect(CTkvs_GetChar(a, 3, &c, &e) == CT_statusOK && c == 0x263A, "get char");
    expect(CTkvs_GetIrange(a, 4, &r, &e) == CT_statusOK && r.lower == -1 && r.upper == 1, "get range");
    expect(CTkvs_GetString(a, 6, &s, &e) == CT_statusOK && std::wcscmp(s, L"narrow") == 0, "get string");
    expect(CTkvs_GetKVS(a, 8, &n, &e) == CT_statusOK && n != b, "get nested");
    expect(CTkvs_GetIntArray(a, 9, &ia, &count, &e) == CT_statusOK && count == 2, "get int array");
    expect(CTkvs_GetUintArray(a, 10, &ua, &count, &e) == CT_statusOK && ua[1] == 4, "get uint array");
    expect(CTkvs_GetIrangeArray(a, 11, &ra, &count, &e) == CT_statusOK && count == 1, "get range array");
    expect(CTkvs_GetByteArray(a, 12, &ba, &count, &e) == CT_statusOK && ba[0] == 0xAB, "get byte array");
    expect(CTkvs_GetStringArray(a, 13, &sa, &count, &e) == CT_statusOK && sa[1] == nullptr, "get string array");
    expect(CTkvs_GetKVSArray(a, 14, &ka, &count, &e) == CT_statusFail && e == CT_errorInvalidKVSet,
           "get set array with an empty element");

    CTsymbol cursor = CT_keyFirst, key = 0;
    uint32_t type = 0;
    int32_t walked = 0;
    while (CTkvs_GetNext(a, &cursor, &key, &type, &count, &e) == CT_statusOK) {
        ++walked;
        cursor = 0;
    }
    expect(walked == 14 && e == CT_errorEndOfList, "walk");
    key = CT_keyFirst;
    expect(CTkvs_GetNextKey(a, &key, &type, &e) == CT_statusOK && key == 1, "next key");
    expect(CTkvs_GetType(a, 5, &type, &e) == CT_statusOK && type == KV_TYPE_STRING, "type");
    const CTsymbol gone[] = {5};
    expect(CTkvs_Remove(a, gone, 1, &e) == CT_statusOK && MRQkvs_GetNumPairs(a) == 13, "remove");

    CTkvs c2 = 0;
    uint32_t same = 0;
    expect(CTkvs_Create(&c2, &e) == CT_statusOK, "create");
    expect(CTkvs_Copy(c2, a, &e) == CT_statusOK, "copy");
    expect(CTkvs_Match(c2, a, &same, &e) == CT_statusOK && same == 1, "match");
    expect(MRQkvs_TimeStamp(a) == 0, "time stamp");
    double elapsed = -1;
    expect(MRQkvs_TimeDelta(a, &elapsed) == 0 && elapsed >= 0 && elapsed < 60, "time delta");
    CTkvs newest[2] = {0, 0};
    expect(MRQkvs_GetNewestKVSets(newest, 2) == 0 && newest[0] > newest[1], "newest");
    expect(MRQkvs_GetNumKVS() >= 3, "count");
    expect(CTkvs_Clear(c2, &e) == CT_statusOK && MRQkvs_GetNumPairs(c2) == 0, "clear");
    expect(CTkvs_Destroy(c2, &e) == CT_statusOK, "destroy");
    expect(CTkvs_Destroy(b, &e) == CT_statusOK, "destroy");
    expect(CTkvs_Destroy(a, &e) == CT_statusOK, "destroy");
    expect(MRQkvs_GetNumKVS() == 0, "nothing left registered");

    expect(std::strcmp(MRQkvs_Version(), KVSET_VERSION_STRING) == 0, "version of the loaded library");
    bool caught = false;
    try {
        const KVSet empty;
        (void)empty.getInt(1);
    } catch (const CxException &) {
        caught = true;
    }
    expect(caught, "a missing key throws a KVSetException, caught as its CxException base");
    return failures == 0 ? 0 : 1;
}
