// The program the debugger tests stop in: a set of every value type with a
// nested set and a KV-Set array, a small set held by a KVSet object, and
// make-call options, all alive when kvs_debug_stop() is reached.
#include <cstdio>

#include "kvset/KVSet.h"
#include "kvset/ctkvs.h"
#include "kvset/mrqMakeCallOptionaArgs.h"
#include "support/every_type.h"

// The breakpoint: not inlined, so the debugger can stop in it.
extern "C" __attribute__((noinline)) void kvs_debug_stop(const KVSet *object, const mrqMakeCallOptionaArgs *options)
{
    __asm__ volatile("" : : "r"(object), "r"(options) : "memory");
}

int main()
{
    CTerror e = 0;
    CTkvs every = 0, nested = 0, element = 0;
    if (CTkvs_Create(&every, &e) != CT_statusOK || CTkvs_Create(&nested, &e) != CT_statusOK ||
        CTkvs_Create(&element, &e) != CT_statusOK)
        return 1;
    CTkvs_PutString(nested, 0x7, L"deep \u263A \U0001F600", &e);
    CTkvs_PutInt(element, 0x8, -8, &e);
    if (!kvs::test::put_every_type(every, nested, element, false)) return 1;

    CTkvs held = 0;
    if (CTkvs_Create(&held, &e) != CT_statusOK) return 1;
    KVSet object(held, true);
    object.putInt(0x11, 42);
    object.putString(MakeCall_LineDevice, L"line 1");

    mrqMakeCallOptionaArgs options;
    options.setLineDevice("dxxxB1C1");
    std::printf("every=%u nested=%u element=%u\n", every, nested, element);
    kvs_debug_stop(&object, &options);

    CTkvs_Destroy(element, &e);
    CTkvs_Destroy(nested, &e);
    CTkvs_Destroy(every, &e);
    return 0;
}
