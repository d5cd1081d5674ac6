#include "symbol_names.h"

#include <cwchar>

#include "kvset/ctkvs.h"

namespace ctsym {
namespace {

struct Entry {
    std::uint32_t symbol;
    const wchar_t *name;
};

#define KVS_SYMBOL(name) {name, L## #name}

// Every symbol the KVSet library defines.
const Entry kNames[] = {
    KVS_SYMBOL(CT_errorOK),
    KVS_SYMBOL(CT_errorBadFormat),
    KVS_SYMBOL(CT_errorBadHeader),
    KVS_SYMBOL(CT_errorBadKey),
    KVS_SYMBOL(CT_errorInvalidKVSet),
    KVS_SYMBOL(CT_errorEndOfList),
    KVS_SYMBOL(CT_errorFileOpen),
    KVS_SYMBOL(CT_errorOutOfRange),
    KVS_SYMBOL(CT_errorNoSuchKey),
    KVS_SYMBOL(CT_errorBadParameter),
    KVS_SYMBOL(CT_errorNoResource),
    KVS_SYMBOL(CT_errorNoMemory),
    KVS_SYMBOL(KVS_HANDLE_RESERVED),
    KVS_SYMBOL(CT_keyFirst),
    KVS_SYMBOL(MRQ_keyTimeStampSec),
    KVS_SYMBOL(MRQ_keyTimeStampMsec),
    KVS_SYMBOL(MakeCall_LineDevice),
    KVS_SYMBOL(MakeCall_OutboundProxy),
    KVS_SYMBOL(MakeCall_CallingNumber),
    KVS_SYMBOL(MakeCall_AuthUserName),
    KVS_SYMBOL(MakeCall_AuthPassword),
    KVS_SYMBOL(MakeCall_FaxMediaFeatureTag),
    KVS_SYMBOL(MakeCall_PassertID),
    KVS_SYMBOL(MakeCall_RTC),
    KVS_SYMBOL(MakeCall_CPA),
    KVS_SYMBOL(MakeCall_ConnectMask),
    KVS_SYMBOL(MakeCall_DisconnectMask),
    KVS_SYMBOL(MakeCall_OutboundOfferMedia),
    KVS_SYMBOL(MakeCall_OutboundAcceptMedia),
};

#undef KVS_SYMBOL

}  // namespace

const wchar_t *known_name(std::uint32_t symbol)
{
    for (const Entry &e : kNames)
        if (e.symbol == symbol) return e.name;
    return nullptr;
}

bool known_symbol(const wchar_t *name, std::uint32_t *symbol)
{
    for (const Entry &e : kNames) {
        if (std::wcscmp(e.name, name) == 0) {
            *symbol = e.symbol;
            return true;
        }
    }
    return false;
}

}  // namespace ctsym
