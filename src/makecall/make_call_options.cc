// mrqMakeCallOptionaArgs: construction, copying, string options, RTC and the
// whole-object copy from a handle. Masks, CPA, media and validate are in
// make_call_rules.cc; the media sets in make_call_media.h.
#include "kvset/mrqMakeCallOptionaArgs.h"

#include <utility>

#include "makecall/make_call_media.h"

namespace kvs {
namespace makecall {
namespace {

// Default RTC content: two one-element symbol arrays, in this order.
struct RtcDefault {
    unsigned int key;
    unsigned int value;
};
const RtcDefault kRtcDefaults[] = {{0x1B80706Du, 0x00100020u}, {0x00070070u, 0x00160020u}};

// True when `handle` fits the store's 32-bit handles.
bool fits(unsigned long handle) { return static_cast<unsigned long long>(handle) <= 0xFFFFFFFFull; }

}  // namespace
}  // namespace makecall
}  // namespace kvs

using namespace kvs::makecall;

// ---- Construction and lifetime ---------------------------------------------

mrqMakeCallOptionaArgs::mrqMakeCallOptionaArgs()
    : maskTable(nullptr), cpaTable(nullptr), offerMedia(), offerMediaCount(0), acceptMedia(), acceptMediaCount(0)
{
    setTables();
    options.create();
    rtc.create();
    cpa.create();
    connectMask.create();
    disconnectMask.create();
    setDefaultRTC();
    setDefaultConnectMask();
    setDefaultDisconnectMask();
    setDefaultCPA();
    setDefaultOutboundOfferMediaPreferences();
    setDefaultOutboundAcceptMediaPreferences();
}

mrqMakeCallOptionaArgs::mrqMakeCallOptionaArgs(const mrqMakeCallOptionaArgs &other)
    : maskTable(other.maskTable),
      cpaTable(other.cpaTable),
      offerMedia(),
      offerMediaCount(other.offerMediaCount),
      acceptMedia(),
      acceptMediaCount(other.acceptMediaCount),
      options(other.options),
      rtc(other.rtc),
      cpa(other.cpa),
      connectMask(other.connectMask),
      disconnectMask(other.disconnectMask)
{
    for (int i = 0; i < 3; ++i) {
        offerMedia[i] = other.offerMedia[i];
        acceptMedia[i] = other.acceptMedia[i];
    }
}

mrqMakeCallOptionaArgs::~mrqMakeCallOptionaArgs()
{
    // A KV-Set destroyed elsewhere, or one a failed copy never made, must not
    // take the process down from a destructor.
    KVSet *const sets[] = {&rtc, &cpa, &connectMask, &disconnectMask, &options};
    for (KVSet *set : sets) {
        if (set->handle() == 0) continue;
        try {
            set->destroy();
        } catch (...) {
        }
    }
}

mrqMakeCallOptionaArgs &mrqMakeCallOptionaArgs::operator=(const mrqMakeCallOptionaArgs &other)
{
    if (this == &other) return *this;
    mrqMakeCallOptionaArgs copy(other);
    swapState(copy);
    return *this;  // the former KV-Sets die with `copy`
}

void mrqMakeCallOptionaArgs::swapState(mrqMakeCallOptionaArgs &other) noexcept
{
    std::swap(maskTable, other.maskTable);
    std::swap(cpaTable, other.cpaTable);
    std::swap(offerMedia, other.offerMedia);
    std::swap(offerMediaCount, other.offerMediaCount);
    std::swap(acceptMedia, other.acceptMedia);
    std::swap(acceptMediaCount, other.acceptMediaCount);
    std::swap(options, other.options);
    std::swap(rtc, other.rtc);
    std::swap(cpa, other.cpa);
    std::swap(connectMask, other.connectMask);
    std::swap(disconnectMask, other.disconnectMask);
}

mrqMakeCallOptionaArgs::operator unsigned long() const { return options.handle(); }

void mrqMakeCallOptionaArgs::display() { options.display(); }

// ---- String options -----------------------------------------------------------

// Each string option's setters (wide, its non-const form, narrow) and getter,
// all under the option's key.
#define KVSET_STRING_OPTION(Name, key)                                                                             \
    void mrqMakeCallOptionaArgs::set##Name(const wchar_t *value) { options.putString(key, value); }              \
    void mrqMakeCallOptionaArgs::set##Name(wchar_t *value) { set##Name(static_cast<const wchar_t *>(value)); }   \
    void mrqMakeCallOptionaArgs::set##Name(const char *value) { options.putString(key, value); }                 \
    void mrqMakeCallOptionaArgs::get##Name(wchar_t **value) const { options.getString(key, value); }

KVSET_STRING_OPTION(LineDevice, MakeCall_LineDevice)
KVSET_STRING_OPTION(OutboundProxy, MakeCall_OutboundProxy)
KVSET_STRING_OPTION(CallingNumber, MakeCall_CallingNumber)
KVSET_STRING_OPTION(AuthUserName, MakeCall_AuthUserName)
KVSET_STRING_OPTION(AuthPassword, MakeCall_AuthPassword)
KVSET_STRING_OPTION(FaxMediaFeatureTag, MakeCall_FaxMediaFeatureTag)
KVSET_STRING_OPTION(PassertID, MakeCall_PassertID)

#undef KVSET_STRING_OPTION

// ---- RTC ----------------------------------------------------------------------

void mrqMakeCallOptionaArgs::setDefaultRTC()
{
    for (const RtcDefault &pair : kRtcDefaults) {
        unsigned int value = pair.value;
        rtc.putSymbolArray(pair.key, &value, 1);
    }
    setRTC(rtc.handle());
}

void mrqMakeCallOptionaArgs::setRTC(unsigned long rtcSet)
{
    const unsigned long own = rtc.handle();
    if (rtcSet != own) {
        if (!fits(rtcSet)) throw KVSetException(KVSetException::COPY, MakeCall_RTC, CT_errorInvalidKVSet);
        CTerror error = CT_errorOK;
        if (CTkvs_Copy(static_cast<CTkvs>(own), static_cast<CTkvs>(rtcSet), &error) != CT_statusOK)
            throw KVSetException(KVSetException::COPY, MakeCall_RTC, error);
    }
    options.putKVS(MakeCall_RTC, own);
}

void mrqMakeCallOptionaArgs::setRTC(const KVSet &rtcSet) { setRTC(rtcSet.handle()); }

unsigned long mrqMakeCallOptionaArgs::getRTC(unsigned long) const { return options.getKVS(MakeCall_RTC); }

// ---- Whole-object copy ----------------------------------------------------------

void mrqMakeCallOptionaArgs::copy(unsigned long source)
{
    // The new state is built in a separate object and swapped in only when it
    // is complete: a failed copy leaves this object as it was, and a source
    // that lives inside this object (its own options, or a set nested in
    // them) is still there to be read.
    mrqMakeCallOptionaArgs next;
    next.options = KVSet();
    next.options.create();
    CTerror error = CT_errorOK;
    if (!fits(source) ||
        CTkvs_Copy(static_cast<CTkvs>(next.options.handle()), static_cast<CTkvs>(source), &error) != CT_statusOK)
        throw KVSetException(KVSetException::COPY, 0, CT_errorInvalidKVSet);

    // Load each working set from the copied entry, so later setters and
    // validate() see the copied values; an entry the source lacks gets its
    // default (which also stores it in the options).
    struct Working {
        unsigned int key;
        KVSet mrqMakeCallOptionaArgs::*set;
        void (mrqMakeCallOptionaArgs::*applyDefault)();
    };
    const Working working[] = {
        {MakeCall_RTC, &mrqMakeCallOptionaArgs::rtc, &mrqMakeCallOptionaArgs::setDefaultRTC},
        {MakeCall_ConnectMask, &mrqMakeCallOptionaArgs::connectMask, &mrqMakeCallOptionaArgs::setDefaultConnectMask},
        {MakeCall_DisconnectMask, &mrqMakeCallOptionaArgs::disconnectMask,
         &mrqMakeCallOptionaArgs::setDefaultDisconnectMask},
        {MakeCall_CPA, &mrqMakeCallOptionaArgs::cpa, &mrqMakeCallOptionaArgs::setDefaultCPA},
    };
    for (const Working &w : working) {
        KVSet &set = next.*w.set;
        set = KVSet();
        set.create();
        unsigned long stored = 0;
        try {
            stored = next.options.getKVS(w.key);
        } catch (const KVSetException &) {
            (next.*w.applyDefault)();
            continue;
        }
        if (CTkvs_Copy(static_cast<CTkvs>(set.handle()), static_cast<CTkvs>(stored), &error) != CT_statusOK)
            throw KVSetException(KVSetException::COPY, w.key, error);
    }

    // Media preferences: taken from the copied entries when they are usable.
    if (!load_media(next.options, MakeCall_OutboundOfferMedia, kOfferMedia, next.offerMedia,
                              &next.offerMediaCount))
        next.setDefaultOutboundOfferMediaPreferences();
    if (!load_media(next.options, MakeCall_OutboundAcceptMedia, kAcceptMedia, next.acceptMedia,
                              &next.acceptMediaCount))
        next.setDefaultOutboundAcceptMediaPreferences();

    swapState(next);  // the former KV-Sets die with `next`
}

void mrqMakeCallOptionaArgs::copy(const KVSet &source) { copy(source.handle()); }
