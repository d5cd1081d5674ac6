/* Leaks two sets ("leak"), or destroys every set it made ("clean"), for the
 * leak report tests. */
#include <string.h>

#include "kvset/ctkvs.h"

int main(int argc, char **argv)
{
    CTerror e = 0;
    CTkvs a = 0, b = 0, inner = 0;
    int leak = argc > 1 && strcmp(argv[1], "leak") == 0;
    if (CTkvs_Create(&a, &e) != CT_statusOK || CTkvs_Create(&b, &e) != CT_statusOK ||
        CTkvs_Create(&inner, &e) != CT_statusOK)
        return 1;
    CTkvs_PutString(a, MakeCall_LineDevice, L"dxxxB1C1", &e);
    CTkvs_PutInt(a, 0x7, 7, &e);
    CTkvs_PutInt(inner, 0x9, 9, &e);
    CTkvs_PutKVS(b, MakeCall_CPA, inner, &e);
    CTkvs_Destroy(inner, &e);
    if (!leak) {
        CTkvs_Destroy(a, &e);
        CTkvs_Destroy(b, &e);
    }
    return 0;
}
