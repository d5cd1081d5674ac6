// Stand-in for the symbol library's naming service.
#include <cwchar>

#include "kvset/ctsym.h"
#include "symbol_names.h"

namespace {

constexpr std::uint32_t kStatusOK = 0;
constexpr std::uint32_t kStatusFail = 3;
constexpr std::uint32_t kErrorOK = 0x00010050u;
constexpr std::uint32_t kStatusWarning = 1;
constexpr std::uint32_t kErrorBadParameter = 0x005D0050u;
constexpr std::uint32_t kErrorNoSuchKey = 0x00480050u;

}  // namespace

extern "C" uint32_t CTsym_SymbolToName(uint32_t, uint32_t symbol, wchar_t **name, uint32_t *capacity,
                                       uint32_t *error)
{
    if (name == nullptr || *name == nullptr || capacity == nullptr) {
        if (error != nullptr) *error = kErrorBadParameter;
        return kStatusFail;
    }
    wchar_t hex[16];
    const wchar_t *text = ctsym::known_name(symbol);
    if (text == nullptr) {
        std::swprintf(hex, sizeof(hex) / sizeof(hex[0]), L"0x%08X", symbol);
        text = hex;
    }
    std::size_t n = std::wcslen(text);
    if (n > *capacity) n = *capacity;
    std::wmemcpy(*name, text, n);
    (*name)[n] = L'\0';
    if (error != nullptr) *error = kErrorOK;
    return kStatusOK;
}

extern "C" uint32_t CTsym_NameToSymbol(uint32_t, const wchar_t *name, uint32_t *symbol, uint32_t *error)
{
    if (name == nullptr || symbol == nullptr) {
        if (error != nullptr) *error = kErrorBadParameter;
        return kStatusFail;
    }
    if (!ctsym::known_symbol(name, symbol)) {
        if (error != nullptr) *error = kErrorNoSuchKey;
        return kStatusWarning;
    }
    if (error != nullptr) *error = kErrorOK;
    return kStatusOK;
}
