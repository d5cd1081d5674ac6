// Time stamps: two int pairs with the seconds since 1970 and the milliseconds.
#include <ctime>

#include "kvset/ctkvs.h"
#include "store/alloc.h"
#include "store/pairs.h"
#include "store/registry.h"

namespace {

struct Now {
    int32_t seconds;
    int32_t milliseconds;
};

Now now()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return Now{static_cast<int32_t>(ts.tv_sec), static_cast<int32_t>(ts.tv_nsec / 1000000)};
}

// The millisecond factor is the single-precision 0.001, as stored stamps and
// their readers have always used it.
const double kMillisecond = static_cast<double>(0.001f);

}  // namespace

extern "C" {

uint32_t MRQkvs_TimeStamp(CTkvs kvs)
{
    Now t = now();
    kvs::KVSetHeader *set = nullptr;
    if (kvs::registry_resolve(kvs, &set) != CT_errorOK) return 0;
    // Both value blocks are obtained before either pair is stored: replacing
    // an earlier stamp then cannot fail half-way, so the seconds of one stamp
    // never stand next to the milliseconds of another.
    auto *seconds = static_cast<int32_t *>(kvs::mem_malloc(sizeof(int32_t)));
    auto *milliseconds = static_cast<int32_t *>(kvs::mem_malloc(sizeof(int32_t)));
    if (seconds == nullptr || milliseconds == nullptr) {
        kvs::mem_free(seconds);
        kvs::mem_free(milliseconds);
        return 0;
    }
    *seconds = t.seconds;
    *milliseconds = t.milliseconds;
    CTerror ignored = CT_errorOK;
    // A new pair whose node cannot be obtained is not stored (its block is
    // released); without the seconds the milliseconds are not stored either.
    if (kvs::store_pair(set, MRQ_keyTimeStampSec, KV_TYPE_INT, 1, seconds, &ignored) != CT_statusOK) {
        kvs::mem_free(milliseconds);
        return 0;
    }
    kvs::store_pair(set, MRQ_keyTimeStampMsec, KV_TYPE_INT, 1, milliseconds, &ignored);
    return 0;
}

uint32_t MRQkvs_TimeDelta(CTkvs kvs, double *elapsed)
{
    CTerror ignored = CT_errorOK;
    int32_t s0 = 0;
    if (CTkvs_GetInt(kvs, MRQ_keyTimeStampSec, &s0, &ignored) != CT_statusOK) return 3;
    int32_t m0 = 0;  // a missing milliseconds pair counts as 0
    if (CTkvs_GetInt(kvs, MRQ_keyTimeStampMsec, &m0, &ignored) != CT_statusOK) m0 = 0;
    double t0 = s0 + m0 * kMillisecond;
    Now t = now();
    if (elapsed != nullptr) *elapsed = (t.seconds + t.milliseconds * kMillisecond) - t0;
    return 0;
}

void dump_line(void) {}

}  // extern "C"
