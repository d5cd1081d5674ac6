// mrqMakeCallOptionaArgs - the optional arguments of an outbound call, kept
// as one KV-Set (the options KV-Set) that is passed on by handle to whatever
// places the call.
//
// Keys and value shapes of the options KV-Set (ctkvs.h defines the keys):
//   MakeCall_LineDevice, _OutboundProxy, _CallingNumber, _AuthUserName,
//   _AuthPassword, _FaxMediaFeatureTag, _PassertID   wide string, no default
//   MakeCall_RTC, _CPA, _ConnectMask, _DisconnectMask nested KV-Set
//   MakeCall_OutboundOfferMedia, _OutboundAcceptMedia symbol array of 1 to 3
//
// A new object is complete: RTC, masks, call-progress analysis (CPA) and
// media preferences hold their defaults, and validate() passes. Every
// rejected value throws KVSetException (SET or GET with the key or symbol
// concerned); a rejected call leaves the object and its options unchanged.
//
// Masks: a symbol may be set only in the mask(s) its table entry allows;
// others throw with CT_errorNoSuchKey. CPA: the twelve parameters take any
// value, and validate() checks them against their bounds. Media: 1 to 3
// symbols of the valid offer or accept set, else CT_errorOutOfRange with a
// detail message.
#ifndef KVSET_MRQMAKECALLOPTIONAARGS_H
#define KVSET_MRQMAKECALLOPTIONAARGS_H

#include "kvset/KVSet.h"
#include "kvset/KVSetException.h"
#include "kvset/export.h"

class KVS_API mrqMakeCallOptionaArgs {
public:
    // Creates the five KV-Sets and applies every default.
    mrqMakeCallOptionaArgs();
    // Independent deep copies of the other's KV-Sets; never throws.
    mrqMakeCallOptionaArgs(const mrqMakeCallOptionaArgs &other);
    // Destroys the five KV-Sets; never throws.
    ~mrqMakeCallOptionaArgs();
    // Deep copies like the copy constructor; the former KV-Sets are destroyed.
    mrqMakeCallOptionaArgs &operator=(const mrqMakeCallOptionaArgs &other);

    // The handle of the options KV-Set; this object keeps ownership.
    operator unsigned long() const;
    // Dumps the options KV-Set to the library's log.
    void display();

    // String options. Getters lend the stored string (valid until the option
    // is set again or the object dies) and throw GET with CT_errorNoSuchKey
    // for an option never set. Narrow setters convert in the current locale.
    void setLineDevice(const wchar_t *value);
    void setLineDevice(const char *value);
    void getLineDevice(wchar_t **value) const;
    void setOutboundProxy(const wchar_t *value);
    void setOutboundProxy(const char *value);
    void getOutboundProxy(wchar_t **value) const;
    void setCallingNumber(const wchar_t *value);
    void setCallingNumber(const char *value);
    void getCallingNumber(wchar_t **value) const;
    void setAuthUserName(const wchar_t *value);
    void setAuthUserName(const char *value);
    void getAuthUserName(wchar_t **value) const;
    void setAuthPassword(const wchar_t *value);
    void setAuthPassword(const char *value);
    void getAuthPassword(wchar_t **value) const;
    void setFaxMediaFeatureTag(const wchar_t *value);
    void setFaxMediaFeatureTag(const char *value);
    void getFaxMediaFeatureTag(wchar_t **value) const;
    void setPassertID(const wchar_t *value);
    void setPassertID(const char *value);
    void getPassertID(wchar_t **value) const;

    // RTC: the defaults are two one-element symbol arrays. setRTC merges the
    // pairs of rtcSet into the RTC KV-Set (the caller keeps rtcSet) and
    // stores it; a failed merge throws COPY with MakeCall_RTC. The KVSet
    // overload, the one chosen for a KVSet argument, leaves its ownership as
    // it was. getRTC lends the stored RTC KV-Set; its argument is not used.
    void setDefaultRTC();
    void setRTC(unsigned long rtcSet);
    void setRTC(const KVSet &rtcSet);
    unsigned long getRTC(unsigned long unused) const;

    // Rebuilds the object around the pairs of an existing options KV-Set.
    // RTC, mask and CPA entries it lacks get their defaults; the media
    // preferences are taken from its media entries when they hold 1 to 3
    // valid symbols, else the defaults apply. Throws COPY with key 0 and
    // CT_errorInvalidKVSet when source cannot be copied; the object is then
    // unchanged. The KVSet overload, the one chosen for a KVSet argument,
    // reads the source and leaves its ownership as it was.
    void copy(unsigned long source);
    void copy(const KVSet &source);

    // Connect and disconnect masks. The getters by symbol read the stored
    // masks; the getters without one lend the stored mask's handle.
    void setConnectMask(unsigned int symbol);
    void clearConnectMask(unsigned int symbol);
    void setDisconnectMask(unsigned int symbol);
    void clearDisconnectMask(unsigned int symbol);
    bool getConnectMask(unsigned int symbol) const;
    bool getDisconnectMask(unsigned int symbol) const;
    unsigned long getConnectMask();
    unsigned long getDisconnectMask();
    void setDefaultConnectMask();
    void setDefaultDisconnectMask();

    // Call-progress analysis. setCPA accepts the twelve table symbols and any
    // value; validate() checks the bounds.
    void setCPA(unsigned int symbol, int value);
    int getCPA(unsigned int symbol) const;
    unsigned long getCPA() const;
    void setDefaultCPA();

    // Media preferences, in preference order. The getters lend the object's
    // own array (valid while the object lives).
    void setOutboundOfferMedia(const unsigned int *symbols, int count);
    void setOutboundOfferMedia(unsigned int first, unsigned int second, unsigned int third, int count);
    void setOutboundAcceptMedia(const unsigned int *symbols, int count);
    void setOutboundAcceptMedia(unsigned int first, unsigned int second, unsigned int third, int count);
    void getOutbondOfferMedia(unsigned int **symbols, int *count);
    void getOutboundAcceptMedia(unsigned int **symbols, int *count);
    void setDefaultOutboundOfferMediaPreferences();
    void setDefaultOutboundAcceptMediaPreferences();

    // Throws on the first inconsistency: a symbol set in both masks, an
    // empty connect or disconnect mask, a CPA value outside its bounds.
    void validate() const;

    // The same setters with non-const pointers, as earlier versions exported
    // them; kept for programs built against those. A bare nullptr is
    // ambiguous between the two forms: cast it to the const pointer type.
    void setLineDevice(wchar_t *value);
    void setOutboundProxy(wchar_t *value);
    void setCallingNumber(wchar_t *value);
    void setAuthUserName(wchar_t *value);
    void setAuthPassword(wchar_t *value);
    void setFaxMediaFeatureTag(wchar_t *value);
    void setPassertID(wchar_t *value);
    void setOutboundOfferMedia(unsigned int *symbols, int count);
    void setOutboundAcceptMedia(unsigned int *symbols, int count);

private:
    struct MaskEntry;  // a symbol and where it may be set, and its defaults
    struct CpaEntry;   // a parameter symbol, its default and bounds

    void setTables();
    // Exchanges every field with another object's; nothing is copied or destroyed.
    KVS_LOCAL void swapState(mrqMakeCallOptionaArgs &other) noexcept;
    bool isConnectMaskSymbolValid(unsigned int symbol) const;
    bool isDisconnectMaskSymbolValid(unsigned int symbol) const;
    bool isCpaSymbolValid(unsigned int symbol);
    bool isOfferMediaValid(unsigned int symbol);
    bool isAcceptMediaValid(unsigned int symbol);

    const MaskEntry *maskTable;
    const CpaEntry *cpaTable;
    unsigned int offerMedia[3];
    int offerMediaCount;
    unsigned int acceptMedia[3];
    int acceptMediaCount;
    KVSet options;
    KVSet rtc;
    KVSet cpa;
    KVSet connectMask;
    KVSet disconnectMask;
};

#endif  // KVSET_MRQMAKECALLOPTIONAARGS_H
