/* A C program built against the installed package with nothing but
 * `pkg-config --cflags --libs kvset`: it checks the loaded library's version
 * against the headers and round-trips a set through a memory buffer. */
#include <kvset/kvset.h>

#include <stdio.h>
#include <string.h>

int main(void)
{
    CTkvs set = 0, back = 0;
    CTerror error = 0;
    uint8_t *buffer = NULL;
    uint32_t size = 0, same = 0;
    int ok = strcmp(MRQkvs_Version(), KVSET_VERSION_STRING) == 0;
    ok = ok && CTkvs_Create(&set, &error) == CT_statusOK && CTkvs_Create(&back, &error) == CT_statusOK;
    ok = ok && CTkvs_PutString(set, 0x101u, L"C consumer", &error) == CT_statusOK;
    ok = ok && MRQkvs_WriteToMemory(&buffer, set, &size, &error) == CT_statusOK;
    ok = ok && MRQkvs_ReadFromMemory(back, buffer + 8, size - 8, &error) == CT_statusOK;
    ok = ok && CTkvs_Match(back, set, &same, &error) == CT_statusOK && same == 1;
    MRQkvs_FreeBuffer(buffer);
    CTkvs_Destroy(back, &error);
    CTkvs_Destroy(set, &error);
    if (!ok) fprintf(stderr, "C consumer: failed (error 0x%08X)\n", (unsigned)error);
    return ok ? 0 : 1;
}
