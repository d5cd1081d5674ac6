// The version of the loaded library, as the generated header gives it.
#include "kvset/ctkvs.h"
#include "kvset/version.h"

extern "C" const char *MRQkvs_Version(void) { return KVSET_VERSION_STRING; }
