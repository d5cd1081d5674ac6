/* The C API called from C99: a put/get round trip of each shape. */
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "kvset/ctkvs.h"

static int failures = 0;

#define EXPECT(cond)                                                      \
    do {                                                                  \
        if (!(cond)) {                                                    \
            fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                   \
        }                                                                 \
    } while (0)

int main(void)
{
    CTkvs kvs = 0, copy = 0;
    CTerror error = 0;
    int32_t value = 0, count = 0;
    wchar_t *text = NULL;
    const int32_t numbers[3] = {1, -2, 3};
    int32_t *back = NULL;
    uint32_t same = 0;

    EXPECT(CTkvs_Create(&kvs, &error) == CT_statusOK && error == CT_errorOK);
    EXPECT(CTkvs_PutInt(kvs, 0x100u, -42, &error) == CT_statusOK);
    EXPECT(CTkvs_GetInt(kvs, 0x100u, &value, &error) == CT_statusOK && value == -42);
    EXPECT(CTkvs_PutString(kvs, 0x101u, L"caf\u00e9", &error) == CT_statusOK);
    EXPECT(CTkvs_GetString(kvs, 0x101u, &text, &error) == CT_statusOK && wcscmp(text, L"caf\u00e9") == 0);
    EXPECT(MRQkvs_PutNarrowString(kvs, 0x102u, "abc", &error) == CT_statusOK);
    EXPECT(CTkvs_GetString(kvs, 0x102u, &text, &error) == CT_statusOK && wcscmp(text, L"abc") == 0);
    EXPECT(CTkvs_PutIntArray(kvs, 0x103u, numbers, 3, &error) == CT_statusOK);
    EXPECT(CTkvs_GetIntArray(kvs, 0x103u, &back, &count, &error) == CT_statusOK && count == 3 &&
           memcmp(back, numbers, sizeof numbers) == 0);
    EXPECT(CTkvs_GetUint(kvs, 0x100u, (uint32_t *)&value, &error) == CT_statusWarning && error == CT_errorNoSuchKey);
    EXPECT(CTkvs_Create(&copy, &error) == CT_statusOK);
    EXPECT(CTkvs_Copy(copy, kvs, &error) == CT_statusOK);
    EXPECT(CTkvs_Match(copy, kvs, &same, &error) == CT_statusOK && same == 1);
    EXPECT(CTkvs_Destroy(copy, &error) == CT_statusOK);
    EXPECT(CTkvs_Destroy(kvs, &error) == CT_statusOK);
    EXPECT(ValidateKVS(kvs) == CT_errorInvalidKVSet);

    if (failures == 0) printf("C API round trip: 1 passed, 0 failed\n");
    return failures == 0 ? 0 : 1;
}
