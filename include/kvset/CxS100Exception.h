// CxS100Exception - the exception class of the symbol library, whose codes
// are S.100 symbols.
#ifndef KVSET_CXS100EXCEPTION_H
#define KVSET_CXS100EXCEPTION_H

#include <string>

#include "kvset/CxException.h"
#include "kvset/ctsym.h"

class S100_API CxS100Exception : public CxException {
public:
    CxS100Exception();
    // code: an S.100 symbol. Non-empty context strings are attached as the
    // first arguments, in order.
    CxS100Exception(int code, const std::wstring &context1, const std::wstring &context2,
                    const std::wstring &context3);

    // The symbol's name, as CTsym_SymbolToName gives it.
    std::wstring convertCodeToString(int code) const override;
    CxException *clone() const override;
};

#endif  // KVSET_CXS100EXCEPTION_H
