// KVSetException: the action and key name as the first two arguments, and a
// code text that wraps the symbol library's text in the failure template.
#include "kvset/KVSetException.h"

#include <cstdint>

#include "inspect/text.h"
#include "serial/utf16.h"

KVSetException::KVSetException() : CxS100Exception() {}

KVSetException::KVSetException(Action action, unsigned int key, unsigned int errorCode)
    : CxS100Exception(static_cast<int>(errorCode), std::wstring(), std::wstring(), std::wstring())
{
    with(convertActionToString(action));
    // Named by the symbol library itself, not through this class's template.
    with(CxS100Exception::convertCodeToString(static_cast<int>(key)));
}

KVSetException::KVSetException(const KVSetException &other) = default;

std::wstring KVSetException::convertCodeToString(int code) const
{
    return L"Unable to $1 $2 - " + CxS100Exception::convertCodeToString(code);
}

CxException *KVSetException::clone() const
{
    KVSetException *copy = new KVSetException();
    copy->deepCopy(*this);
    return copy;
}

std::string KVSetException::message() const
{
    const std::wstring text = asString();
    std::string utf8;
    utf8.reserve(text.size());
    for (wchar_t c : text) {
        const auto point = static_cast<std::uint32_t>(c);
        const bool scalar = point <= kvs::serial::kMaxCodePoint && !kvs::serial::is_surrogate(point);
        kvs::inspect::append_utf8(&utf8, scalar ? point : kvs::serial::kReplacementChar);
    }
    return utf8;
}

std::wstring KVSetException::convertActionToString(Action action)
{
    static const wchar_t *const kNames[] = {L"CREATE", L"SET", L"GET", L"DESTROY", L"COPY", L"READ", L"WRITE"};
    const unsigned int index = static_cast<unsigned int>(action);
    // assign(), not the pointer constructor: the constructor's member template
    // would be instantiated here and exported with the library's names.
    std::wstring name;
    name.assign(index < sizeof kNames / sizeof kNames[0] ? kNames[index] : L"UNKNOWN");
    return name;
}
