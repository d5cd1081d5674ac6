// CxException - the exception base class of the exception library.
//
// An exception carries a numeric code and an ordered list of wide-string
// arguments. Its message is the code's text (convertCodeToString) with "$1",
// "$2", ... replaced by the arguments in order; arguments that no placeholder
// names are appended after the text, each after ": ".
#ifndef KVSET_CXEXCEPTION_H
#define KVSET_CXEXCEPTION_H

#include <string>
#include <vector>

#if defined(__GNUC__) || defined(__clang__)
#  define CX_API __attribute__((visibility("default")))
#else
#  define CX_API
#endif

class CX_API CxException {
public:
    explicit CxException(int code = 0);
    CxException(const CxException &other);
    CxException &operator=(const CxException &other);

    // Appends the next argument.
    CxException &with(const std::wstring &argument);
    // Appends a narrow text, widened in the current locale, as the next argument.
    CxException &with(const char *argument);
    // Makes this object a full copy (code and arguments) of another.
    CxException &deepCopy(const CxException &other);

    int code() const;
    const std::vector<std::wstring> &arguments() const;

protected:
    // Renders `text` with the placeholders replaced; with `appendUnused`,
    // arguments that no placeholder names follow, each after ": ".
    virtual std::wstring asString(std::wstring text, bool appendUnused) const;

public:
    // The rendered message: asString(convertCodeToString(code()), true).
    virtual std::wstring asString() const;
    // The text of a code; derived classes name their codes.
    virtual std::wstring convertCodeToString(int code) const;
    // A heap copy of the same dynamic type; the caller deletes it.
    virtual CxException *clone() const;
    // Virtual, so that objects from clone() can be deleted through the base.
    virtual ~CxException();

private:
    int code_;
    std::vector<std::wstring> arguments_;
};

#endif  // KVSET_CXEXCEPTION_H
