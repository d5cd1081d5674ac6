// mrqMakeCallOptionaArgs: the mask and CPA tables, the media sets, and the
// setters, getters and validation that the tables govern.
#include <cstring>
#include <string>

#include "kvset/mrqMakeCallOptionaArgs.h"
#include "makecall/make_call_media.h"

struct mrqMakeCallOptionaArgs::MaskEntry {
    unsigned int symbol;
    unsigned char connectValid;       // may appear in the connect mask
    unsigned char disconnectValid;    // may appear in the disconnect mask
    unsigned char connectDefault;     // set by default (where connect-valid)
    unsigned char disconnectDefault;  // set by default (where disconnect-valid)
};

struct mrqMakeCallOptionaArgs::CpaEntry {
    unsigned int symbol;
    int defaultValue;
    int minimum;  // inclusive
    int maximum;  // inclusive
};

namespace kvs {
namespace makecall {
namespace {

const unsigned int kOfferSymbols[] = {0x0706206Du, 0x1880706Du, 0x18C0706Du, 0x1B00706Du,
                                      0x2340706Du, 0x2380706Du, 0x23C0706Du};
const unsigned int kAcceptSymbols[] = {0x1880706Du, 0x18C0706Du, 0x1B00706Du, 0x2340706Du, 0x2380706Du};

}  // namespace

const MediaSet kOfferMedia = {kOfferSymbols, sizeof kOfferSymbols / sizeof kOfferSymbols[0]};
const MediaSet kAcceptMedia = {kAcceptSymbols, sizeof kAcceptSymbols / sizeof kAcceptSymbols[0]};

bool load_media(const KVSet &options, unsigned int key, const MediaSet &valid, unsigned int (&media)[3], int *count)
{
    CTsymbol *stored = nullptr;
    int32_t n = 0;
    CTerror error = CT_errorOK;
    if (CTkvs_GetSymbolArray(static_cast<CTkvs>(options.handle()), key, &stored, &n, &error) != CT_statusOK)
        return false;
    if (n < 1 || n > 3) return false;
    for (int32_t i = 0; i < n; ++i)
        if (!valid.contains(stored[i])) return false;
    for (int32_t i = 0; i < n; ++i) media[i] = stored[i];
    *count = n;
    return true;
}

namespace {


const int kMaskEntries = 17;
const int kCpaEntries = 12;

const unsigned int kDefaultOffer[3] = {0x18C0706Du, 0x1880706Du, 0};
const int kDefaultOfferCount = 2;
const unsigned int kDefaultAccept[3] = {0x1B00706Du, 0x18C0706Du, 0x1880706Du};
const int kDefaultAcceptCount = 3;

// A wide detail message. Built with assign(): the pointer constructor's member
// template would be instantiated here and exported with the library's names.
std::wstring wide_text(const wchar_t *text)
{
    std::wstring s;
    s.assign(text);
    return s;
}

[[noreturn]] void reject_media(unsigned int key, const wchar_t *detail)
{
    KVSetException e(KVSetException::SET, key, CT_errorOutOfRange);
    e.with(wide_text(detail));
    throw e;
}

[[noreturn]] void reject(unsigned int key, const char *detail)
{
    KVSetException e(KVSetException::SET, key, CT_errorOutOfRange);
    e.with(detail);
    throw e;
}

// The shared media setter. The whole request is checked before anything
// changes, so a rejected call leaves the object's array, its count and the
// stored array as they were.
void set_media(KVSet &options, unsigned int key, const MediaSet &valid, unsigned int (&media)[3],
               int *mediaCount, const unsigned int *symbols, int count)
{
    if (count < 1) reject_media(key, L"A minimum of one media type required");
    if (count > 3) reject_media(key, L"A maximum of three media types allowed");
    if (symbols == nullptr) throw KVSetException(KVSetException::SET, key, CT_errorBadParameter);
    unsigned int chosen[3] = {0, 0, 0};
    for (int i = 0; i < count; ++i) {
        if (!valid.contains(symbols[i])) reject_media(key, L"Invalid media type");
        chosen[i] = symbols[i];
    }
    options.putSymbolArray(key, chosen, static_cast<unsigned int>(count));
    for (int i = 0; i < count; ++i) media[i] = chosen[i];
    *mediaCount = count;
}

}  // namespace
}  // namespace makecall
}  // namespace kvs

using namespace kvs::makecall;

void mrqMakeCallOptionaArgs::setTables()
{
    static const MaskEntry kMask[kMaskEntries] = {
        {0x2446206Du, 1, 0, 0, 0}, {0x2486206Du, 1, 0, 0, 0}, {0x0206206Du, 1, 1, 1, 0},
        {0x0246206Du, 1, 1, 1, 0}, {0x0386206Du, 1, 1, 0, 1}, {0x03C6206Du, 1, 1, 0, 1},
        {0x0406206Du, 1, 1, 0, 1}, {0x0106206Du, 1, 1, 1, 0}, {0x0286206Du, 1, 1, 1, 0},
        {0x0446206Du, 1, 1, 1, 0}, {0x24C6206Du, 1, 1, 0, 1}, {0x00C6206Du, 0, 1, 0, 1},
        {0x0146206Du, 0, 1, 0, 1}, {0x2506206Du, 0, 1, 0, 1}, {0x2246206Du, 0, 1, 0, 1},
        {0x2286206Du, 0, 1, 0, 1}, {0x22C6206Du, 0, 1, 0, 1},
    };
    static const CpaEntry kCpa[kCpaEntries] = {
        {0x0546106Du, 64, 32, 96},       {0x0586106Du, 25, 10, 250},     {0x05C6106Du, 100, 100, 250},
        {0x0286106Du, 1000, 500, 3000},  {0x02C6106Du, 3500, 3200, 5000}, {0x0306106Du, 3500, 2500, 5000},
        {0x0346106Du, 5, 1, 15},         {0x0386106Du, 5000, 3500, 7000}, {0x03C6106Du, 1500, 1000, 2000},
        {0x0406106Du, 3, 1, 10},         {0x0446106Du, 700, 500, 1000},   {0x0486106Du, 10000, 8000, 15000},
    };
    maskTable = kMask;
    cpaTable = kCpa;
}

// ---- Masks ---------------------------------------------------------------------

bool mrqMakeCallOptionaArgs::isConnectMaskSymbolValid(unsigned int symbol) const
{
    for (int i = 0; i < kMaskEntries; ++i)
        if (maskTable[i].symbol == symbol) return maskTable[i].connectValid == 1;
    return false;
}

bool mrqMakeCallOptionaArgs::isDisconnectMaskSymbolValid(unsigned int symbol) const
{
    for (int i = 0; i < kMaskEntries; ++i)
        if (maskTable[i].symbol == symbol) return maskTable[i].disconnectValid == 1;
    return false;
}

void mrqMakeCallOptionaArgs::setConnectMask(unsigned int symbol)
{
    if (!isConnectMaskSymbolValid(symbol)) throw KVSetException(KVSetException::SET, symbol, CT_errorNoSuchKey);
    connectMask.putBool(symbol, true);
    options.putKVS(MakeCall_ConnectMask, connectMask.handle());
}

void mrqMakeCallOptionaArgs::clearConnectMask(unsigned int symbol)
{
    if (!isConnectMaskSymbolValid(symbol)) throw KVSetException(KVSetException::SET, symbol, CT_errorNoSuchKey);
    connectMask.putBool(symbol, false);
    options.putKVS(MakeCall_ConnectMask, connectMask.handle());
}

void mrqMakeCallOptionaArgs::setDisconnectMask(unsigned int symbol)
{
    if (!isDisconnectMaskSymbolValid(symbol)) throw KVSetException(KVSetException::SET, symbol, CT_errorNoSuchKey);
    disconnectMask.putBool(symbol, true);
    options.putKVS(MakeCall_DisconnectMask, disconnectMask.handle());
}

void mrqMakeCallOptionaArgs::clearDisconnectMask(unsigned int symbol)
{
    if (!isDisconnectMaskSymbolValid(symbol)) throw KVSetException(KVSetException::SET, symbol, CT_errorNoSuchKey);
    disconnectMask.putBool(symbol, false);
    options.putKVS(MakeCall_DisconnectMask, disconnectMask.handle());
}

bool mrqMakeCallOptionaArgs::getConnectMask(unsigned int symbol) const
{
    if (!isConnectMaskSymbolValid(symbol)) throw KVSetException(KVSetException::GET, symbol, CT_errorNoSuchKey);
    const KVSet stored(options.getKVS(MakeCall_ConnectMask), false);
    return stored.getBool(symbol);
}

bool mrqMakeCallOptionaArgs::getDisconnectMask(unsigned int symbol) const
{
    if (!isDisconnectMaskSymbolValid(symbol)) throw KVSetException(KVSetException::GET, symbol, CT_errorNoSuchKey);
    const KVSet stored(options.getKVS(MakeCall_DisconnectMask), false);
    return stored.getBool(symbol);
}

unsigned long mrqMakeCallOptionaArgs::getConnectMask() { return options.getKVS(MakeCall_ConnectMask); }

unsigned long mrqMakeCallOptionaArgs::getDisconnectMask() { return options.getKVS(MakeCall_DisconnectMask); }

void mrqMakeCallOptionaArgs::setDefaultConnectMask()
{
    for (int i = 0; i < kMaskEntries; ++i) {
        const MaskEntry &entry = maskTable[i];
        if (entry.connectValid != 1) continue;
        if (entry.connectDefault == 1)
            setConnectMask(entry.symbol);
        else
            clearConnectMask(entry.symbol);
    }
}

void mrqMakeCallOptionaArgs::setDefaultDisconnectMask()
{
    for (int i = 0; i < kMaskEntries; ++i) {
        const MaskEntry &entry = maskTable[i];
        if (entry.disconnectValid != 1) continue;
        if (entry.disconnectDefault == 1)
            setDisconnectMask(entry.symbol);
        else
            clearDisconnectMask(entry.symbol);
    }
}

// ---- Call-progress analysis -----------------------------------------------------

bool mrqMakeCallOptionaArgs::isCpaSymbolValid(unsigned int symbol)
{
    for (int i = 0; i < kCpaEntries; ++i)
        if (cpaTable[i].symbol == symbol) return true;
    return false;
}

void mrqMakeCallOptionaArgs::setCPA(unsigned int symbol, int value)
{
    if (!isCpaSymbolValid(symbol)) throw KVSetException(KVSetException::SET, symbol, CT_errorNoSuchKey);
    cpa.putInt(symbol, value);
    options.putKVS(MakeCall_CPA, cpa.handle());
}

int mrqMakeCallOptionaArgs::getCPA(unsigned int symbol) const { return cpa.getInt(symbol); }

unsigned long mrqMakeCallOptionaArgs::getCPA() const { return options.getKVS(MakeCall_CPA); }

void mrqMakeCallOptionaArgs::setDefaultCPA()
{
    for (int i = 0; i < kCpaEntries; ++i) cpa.putInt(cpaTable[i].symbol, cpaTable[i].defaultValue);
    options.putKVS(MakeCall_CPA, cpa.handle());
}

// ---- Media preferences ----------------------------------------------------------

bool mrqMakeCallOptionaArgs::isOfferMediaValid(unsigned int symbol) { return kOfferMedia.contains(symbol); }

bool mrqMakeCallOptionaArgs::isAcceptMediaValid(unsigned int symbol) { return kAcceptMedia.contains(symbol); }

void mrqMakeCallOptionaArgs::setOutboundOfferMedia(const unsigned int *symbols, int count)
{
    set_media(options, MakeCall_OutboundOfferMedia, kOfferMedia, offerMedia, &offerMediaCount, symbols,
              count);
}

void mrqMakeCallOptionaArgs::setOutboundOfferMedia(unsigned int first, unsigned int second, unsigned int third,
                                                   int count)
{
    const unsigned int symbols[3] = {first, second, third};
    setOutboundOfferMedia(symbols, count);
}

void mrqMakeCallOptionaArgs::setOutboundOfferMedia(unsigned int *symbols, int count)
{
    setOutboundOfferMedia(static_cast<const unsigned int *>(symbols), count);
}

void mrqMakeCallOptionaArgs::setOutboundAcceptMedia(const unsigned int *symbols, int count)
{
    set_media(options, MakeCall_OutboundAcceptMedia, kAcceptMedia, acceptMedia, &acceptMediaCount,
              symbols, count);
}

void mrqMakeCallOptionaArgs::setOutboundAcceptMedia(unsigned int first, unsigned int second, unsigned int third,
                                                    int count)
{
    const unsigned int symbols[3] = {first, second, third};
    setOutboundAcceptMedia(symbols, count);
}

void mrqMakeCallOptionaArgs::setOutboundAcceptMedia(unsigned int *symbols, int count)
{
    setOutboundAcceptMedia(static_cast<const unsigned int *>(symbols), count);
}

void mrqMakeCallOptionaArgs::getOutbondOfferMedia(unsigned int **symbols, int *count)
{
    if (symbols != nullptr) *symbols = offerMedia;
    if (count != nullptr) *count = offerMediaCount;
}

void mrqMakeCallOptionaArgs::getOutboundAcceptMedia(unsigned int **symbols, int *count)
{
    if (symbols != nullptr) *symbols = acceptMedia;
    if (count != nullptr) *count = acceptMediaCount;
}

void mrqMakeCallOptionaArgs::setDefaultOutboundOfferMediaPreferences()
{
    options.putSymbolArray(MakeCall_OutboundOfferMedia, kDefaultOffer, kDefaultOfferCount);
    std::memcpy(offerMedia, kDefaultOffer, sizeof offerMedia);
    offerMediaCount = kDefaultOfferCount;
}

void mrqMakeCallOptionaArgs::setDefaultOutboundAcceptMediaPreferences()
{
    options.putSymbolArray(MakeCall_OutboundAcceptMedia, kDefaultAccept, kDefaultAcceptCount);
    std::memcpy(acceptMedia, kDefaultAccept, sizeof acceptMedia);
    acceptMediaCount = kDefaultAcceptCount;
}

// ---- Validation -------------------------------------------------------------------

void mrqMakeCallOptionaArgs::validate() const
{
    for (int i = 0; i < kMaskEntries; ++i) {
        const MaskEntry &entry = maskTable[i];
        if (entry.connectValid != 1 || entry.disconnectValid != 1) continue;
        if (getConnectMask(entry.symbol) && getDisconnectMask(entry.symbol)) {
            KVSetException e(KVSetException::SET, entry.symbol, CT_errorOutOfRange);
            e.with(wide_text(L"Both Connect and Disconnect Masks Set"));
            throw e;
        }
    }
    int connects = 0;
    int disconnects = 0;
    for (int i = 0; i < kMaskEntries; ++i) {
        const MaskEntry &entry = maskTable[i];
        if (entry.connectValid == 1 && getConnectMask(entry.symbol)) ++connects;
        if (entry.disconnectValid == 1 && getDisconnectMask(entry.symbol)) ++disconnects;
    }
    // No single symbol is at fault here: the key is the mask itself.
    if (connects == 0) reject(MakeCall_ConnectMask, "Null Connect Mask");
    if (disconnects == 0) reject(MakeCall_DisconnectMask, "Null Disconnect Mask");
    for (int i = 0; i < kCpaEntries; ++i) {
        const CpaEntry &entry = cpaTable[i];
        const int value = cpa.getInt(entry.symbol);
        if (value < entry.minimum) reject(entry.symbol, "Value less than allowed minimum");
        if (value > entry.maximum) reject(entry.symbol, "Value greater than allowed maximum");
    }
}
