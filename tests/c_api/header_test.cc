// Every public header compiles as C++11 under -pedantic -Werror
// -Wwrite-strings. The class headers come first, so each of them is seen
// before the umbrella pulls in what it needs.
#include "kvset/mrqMakeCallOptionaArgs.h"
#include "kvset/KVSet.h"
#include "kvset/KVSetException.h"
#include "kvset/inspect_c.h"
#include "kvset/kvset.h"
#include "kvset/kvset.h"  // and twice

// String literals and const arrays reach the class layer's setters and puts
// without a cast (compiled only, never called).
void header_test_const_arguments(mrqMakeCallOptionaArgs &options, KVSet &set)
{
    static const unsigned int media[] = {0x1880706Du};
    options.setLineDevice(L"dxxxB1C1");
    options.setOutboundProxy(L"proxy");
    options.setCallingNumber(L"+44 20 7946 0000");
    options.setAuthUserName(L"user");
    options.setAuthPassword(L"secret");
    options.setFaxMediaFeatureTag(L"tag");
    options.setPassertID(L"id");
    options.setOutboundOfferMedia(media, 1);
    options.setOutboundAcceptMedia(media, 1);
    set.putString(1, L"literal");
    set.putSymbolArray(2, media, 1);
}
