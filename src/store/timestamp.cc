// Time stamps: two int pairs with the seconds since 1970 and the milliseconds.
#include <ctime>

#include "kvset/ctkvs.h"

namespace kvs {
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
}  // namespace kvs

using namespace kvs;

extern "C" {

uint32_t MRQkvs_TimeStamp(CTkvs kvs)
{
    Now t = now();
    CTerror ignored = CT_errorOK;
    // Without the seconds the milliseconds are not stored: a stamp is never
    // left as milliseconds alone. (Replacing an earlier stamp cannot fail:
    // single values live in their pair node.)
    if (CTkvs_PutInt(kvs, MRQ_keyTimeStampSec, t.seconds, &ignored) != CT_statusOK) return 0;
    CTkvs_PutInt(kvs, MRQ_keyTimeStampMsec, t.milliseconds, &ignored);
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
