/* The loaded library reports the version of the headers it was built with,
 * and that version is the one the macros spell out part by part. */
#include <stdio.h>
#include <string.h>

#include "kvset/ctkvs.h"
#include "kvset/version.h"

#define STRINGIFY_(x) #x
#define STRINGIFY(x) STRINGIFY_(x)

int main(void)
{
    const char *parts = STRINGIFY(KVSET_VERSION_MAJOR) "." STRINGIFY(KVSET_VERSION_MINOR) "." STRINGIFY(
        KVSET_VERSION_PATCH);
    const char *loaded = MRQkvs_Version();
    int failed = 0;
    if (loaded == NULL || strcmp(loaded, KVSET_VERSION_STRING) != 0) {
        fprintf(stderr, "MRQkvs_Version() is \"%s\", the headers say \"%s\"\n", loaded ? loaded : "(null)",
                KVSET_VERSION_STRING);
        failed = 1;
    }
    if (strcmp(parts, KVSET_VERSION_STRING) != 0) {
        fprintf(stderr, "KVSET_VERSION_STRING \"%s\" is not MAJOR.MINOR.PATCH \"%s\"\n", KVSET_VERSION_STRING, parts);
        failed = 1;
    }
    printf("version: %d passed, %d failed\n", 1 - failed, failed);
    return failed;
}
