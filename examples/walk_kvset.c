/* Builds a KV-Set with a nested set and a string array, then walks it with
 * CTkvs_GetNext and prints every pair it finds. */
#include <stdio.h>
#include <wchar.h>

#include "kvset/ctkvs.h"

#define KEY_CALLER   ((CTsymbol)0x00010001u)
#define KEY_CODECS   ((CTsymbol)0x00010002u)
#define KEY_TIMEOUT  ((CTsymbol)0x00010003u)
#define KEY_PORT     ((CTsymbol)0x00020001u)
#define KEY_PROTOCOL ((CTsymbol)0x00020002u)

static int check(CTstatus status, CTerror error, const char *what)
{
    if (status != CT_statusOK) {
        fprintf(stderr, "%s failed: status %u, error 0x%08X\n", what, status, error);
        return 1;
    }
    return 0;
}

static void print_pair(CTkvs kvs, CTsymbol key, uint32_t type, int32_t count, int depth)
{
    CTerror error = CT_errorOK;
    printf("%*skey 0x%08X  type %u  count %d", depth * 4, "", key, type, count);
    if (type == KV_TYPE_INT) {
        int32_t value = 0;
        CTkvs_GetInt(kvs, key, &value, &error);
        printf("  int %d\n", value);
    } else if (type == KV_TYPE_STRING) {
        wchar_t *value = NULL;
        CTkvs_GetString(kvs, key, &value, &error);
        printf("  string \"%ls\"\n", value ? value : L"(null)");
    } else if (type == KV_TYPE_STRING_ARRAY) {
        wchar_t **strings = NULL;
        int32_t n = 0, i;
        CTkvs_GetStringArray(kvs, key, &strings, &n, &error);
        printf("  strings");
        for (i = 0; i < n; ++i) printf(" \"%ls\"", strings[i] ? strings[i] : L"(null)");
        printf("\n");
    } else if (type == KV_TYPE_KVS) {
        CTkvs nested = 0;
        CTsymbol cursor = CT_keyFirst, k = 0;
        uint32_t t = 0;
        int32_t c = 0;
        CTkvs_GetKVS(kvs, key, &nested, &error);
        printf("  nested set %u with %d pairs:\n", nested, MRQkvs_GetNumPairs(nested));
        while (CTkvs_GetNext(nested, &cursor, &k, &t, &c, &error) == CT_statusOK) {
            print_pair(nested, k, t, c, depth + 1);
            cursor = 0; /* continue after the current pair */
        }
    } else {
        printf("\n");
    }
}

int main(void)
{
    CTkvs call = 0, transport = 0;
    CTerror error = CT_errorOK;
    const wchar_t *codecs[] = {L"PCMU", L"PCMA", L"G729"};
    CTsymbol cursor = CT_keyFirst, key = 0;
    uint32_t type = 0;
    int32_t count = 0;

    if (check(CTkvs_Create(&call, &error), error, "create") ||
        check(CTkvs_Create(&transport, &error), error, "create"))
        return 1;

    if (check(CTkvs_PutString(call, KEY_CALLER, L"+44 20 7946 0000", &error), error, "put caller") ||
        check(CTkvs_PutStringArray(call, KEY_CODECS, codecs, 3, &error), error, "put codecs") ||
        check(CTkvs_PutInt(call, KEY_TIMEOUT, 30, &error), error, "put timeout") ||
        check(CTkvs_PutInt(transport, KEY_PORT, 5060, &error), error, "put port") ||
        check(CTkvs_PutString(transport, KEY_PROTOCOL, L"UDP", &error), error, "put protocol") ||
        check(CTkvs_PutKVS(call, KEY_TIMEOUT + 1, transport, &error), error, "put nested"))
        return 1;

    printf("KV-Set %u holds %d pairs (%u sets registered):\n", call, MRQkvs_GetNumPairs(call), MRQkvs_GetNumKVS());
    while (CTkvs_GetNext(call, &cursor, &key, &type, &count, &error) == CT_statusOK) {
        print_pair(call, key, type, count, 1);
        cursor = 0; /* any value but CT_keyFirst continues after the current pair */
    }
    if (error != CT_errorEndOfList) return check(CT_statusFail, error, "walk");

    CTkvs_Destroy(transport, &error);
    CTkvs_Destroy(call, &error);
    printf("after destroy: %u sets registered\n", MRQkvs_GetNumKVS());
    return 0;
}
