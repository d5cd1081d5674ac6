// Stand-in for the symbol library: CxS100Exception.
#include "kvset/CxS100Exception.h"

CxS100Exception::CxS100Exception() : CxException(0) {}

CxS100Exception::CxS100Exception(int code, const std::wstring &context1, const std::wstring &context2,
                                 const std::wstring &context3)
    : CxException(code)
{
    for (const std::wstring *c : {&context1, &context2, &context3})
        if (!c->empty()) with(*c);
}

std::wstring CxS100Exception::convertCodeToString(int code) const
{
    wchar_t buffer[128] = {};
    wchar_t *name = buffer;
    uint32_t capacity = 127;
    uint32_t error = 0;
    CTsym_SymbolToName(0, static_cast<uint32_t>(code), &name, &capacity, &error);
    return std::wstring(buffer);
}

CxException *CxS100Exception::clone() const { return new CxS100Exception(*this); }
