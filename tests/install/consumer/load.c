/* Loads the installed library by path with dlopen, as a plugin host or a
 * foreign-function interface would (no link-time flags, no LD_LIBRARY_PATH),
 * and checks that it answers. Prints the version it reports. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: load LIBRARY\n");
        return 2;
    }
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "load: %s\n", dlerror());
        return 1;
    }
    const char *(*version)(void) = (const char *(*)(void))dlsym(library, "MRQkvs_Version");
    uint32_t (*count)(void) = (uint32_t(*)(void))dlsym(library, "MRQkvs_GetNumKVS");
    if (version == NULL || count == NULL || count() != 0) {
        fprintf(stderr, "load: the library does not answer\n");
        return 1;
    }
    printf("%s\n", version());
    return dlclose(library) == 0 ? 0 : 1;
}
