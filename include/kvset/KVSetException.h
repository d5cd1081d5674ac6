// KVSetException - the one exception type of the object layer.
//
// It carries the S.100 error symbol of the failure as its code and two
// arguments: the action's name ("CREATE", "SET", ...) and the symbol name of
// the key that was being worked on. Its message renders as
//
//     Unable to <ACTION> <key name> - <text of the error symbol>
//
// A thrower may attach a third, detail argument with with() before throwing;
// the exception library renders it after the message. Always thrown by value;
// catch it as KVSetException, CxS100Exception or CxException.
//
// It is not a std::exception (and has no what()): `catch (const
// std::exception &)` does not catch it; catch it by its own type. For text,
// message() gives the rendered message in UTF-8 for narrow streams and logs;
// asString() gives it wide. Writing the wide text to std::wcerr fixes the
// orientation of stderr to wide, after which narrow output to stderr (printf,
// std::cerr through stdio) is silently lost: prefer message().
#ifndef KVSET_KVSETEXCEPTION_H
#define KVSET_KVSETEXCEPTION_H

#include <string>

#include "kvset/CxS100Exception.h"
#include "kvset/export.h"

class KVS_API KVSetException : public CxS100Exception {
public:
    // What was being done. Any other value is named "UNKNOWN". The underlying
    // type is fixed so that every 32-bit value is a valid Action.
    enum Action : unsigned int { CREATE = 0, SET = 1, GET = 2, DESTROY = 3, COPY = 4, READ = 5, WRITE = 6 };

    // key: the key symbol of the failed operation (0 where it has none);
    // errorCode: the S.100 error symbol that describes the failure.
    KVSetException(Action action, unsigned int key, unsigned int errorCode);
    KVSetException(const KVSetException &other);
    KVSetException &operator=(const KVSetException &other) = default;

    // "Unable to $1 $2 - " followed by the symbol library's text for `code`;
    // the exception library fills $1 and $2 with the first two arguments.
    std::wstring convertCodeToString(int code) const override;
    // A heap copy (code and every argument); the caller deletes it.
    CxException *clone() const override;

    // asString() in UTF-8, converted exactly whatever the locale: a lone
    // surrogate or a value that is not a Unicode code point becomes U+FFFD.
    std::string message() const;

private:
    // Only for clone(), which fills it with deepCopy().
    KVS_LOCAL KVSetException();
    static std::wstring convertActionToString(Action action);
};

#endif  // KVSET_KVSETEXCEPTION_H
