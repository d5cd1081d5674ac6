#include "diag/names.h"

#include <atomic>
#include <cwchar>

#include "diag/diag_internal.h"
#include "kvset/ctsym.h"

namespace kvs {
namespace diag {
namespace {

std::atomic<SymbolNamer> g_namer{&CTsym_SymbolToName};

}  // namespace

namespace test {

SymbolNamer set_symbol_namer(SymbolNamer namer)
{
    return g_namer.exchange(namer != nullptr ? namer : &CTsym_SymbolToName);
}

}  // namespace test

const wchar_t *NameBuffer::lookup(std::uint32_t symbol)
{
    wchar_t *name = buffer_;
    std::uint32_t capacity = kCapacity;
    std::uint32_t error = 0;
    buffer_[0] = L'\0';
    buffer_[kCapacity] = L'\0';
    // Neither the status nor the error symbol is examined: a service that
    // fails leaves the empty name.
    g_namer.load()(0, symbol, &name, &capacity, &error);
    if (name != nullptr && name != buffer_) {
        // The service pointed at a name of its own: take a bounded copy.
        std::size_t n = wcsnlen(name, kCapacity);
        std::wmemmove(buffer_, name, n);
        buffer_[n] = L'\0';
    }
    buffer_[kCapacity] = L'\0';
    return buffer_;
}

}  // namespace diag
}  // namespace kvs
