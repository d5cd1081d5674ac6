// Stand-in for the exception library: CxException.
#include "kvset/CxException.h"

#include <cstdlib>
#include <cwchar>

namespace {
bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }
}  // namespace

CxException::CxException(int code) : code_(code) {}

CxException::CxException(const CxException &other) = default;

CxException &CxException::operator=(const CxException &other) = default;

CxException::~CxException() = default;

CxException &CxException::with(const std::wstring &argument)
{
    arguments_.push_back(argument);
    return *this;
}

CxException &CxException::with(const char *argument)
{
    std::wstring wide;
    if (argument != nullptr) {
        std::mbstate_t state{};
        const char *source = argument;
        std::size_t n = std::mbsrtowcs(nullptr, &source, 0, &state);
        if (n == static_cast<std::size_t>(-1)) {
            // Not convertible in this locale: keep the bytes as Latin-1 rather than lose the text.
            for (const char *p = argument; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
        } else {
            wide.resize(n);
            source = argument;
            state = std::mbstate_t{};
            std::mbsrtowcs(&wide[0], &source, n, &state);
        }
    }
    return with(wide);
}

CxException &CxException::deepCopy(const CxException &other)
{
    code_ = other.code_;
    arguments_ = other.arguments_;
    return *this;
}

int CxException::code() const { return code_; }

const std::vector<std::wstring> &CxException::arguments() const { return arguments_; }

std::wstring CxException::asString(std::wstring text, bool appendUnused) const
{
    std::vector<bool> used(arguments_.size(), false);
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'$' && i + 1 < text.size() && is_digit(text[i + 1])) {
            std::size_t j = i + 1;
            std::size_t index = 0;
            while (j < text.size() && is_digit(text[j]) && index < 100000)
                index = index * 10 + static_cast<std::size_t>(text[j++] - L'0');
            if (index >= 1 && index <= arguments_.size()) {
                out += arguments_[index - 1];
                used[index - 1] = true;
                i = j - 1;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    if (appendUnused)
        for (std::size_t k = 0; k < arguments_.size(); ++k)
            if (!used[k]) out += L": " + arguments_[k];
    return out;
}

std::wstring CxException::asString() const { return asString(convertCodeToString(code_), true); }

std::wstring CxException::convertCodeToString(int code) const
{
    return L"Exception " + std::to_wstring(code);
}

CxException *CxException::clone() const { return new CxException(*this); }
