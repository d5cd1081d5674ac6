#include "diag/sink.h"

#include <climits>
#include <cstdarg>
#include <cwchar>

#include "store/alloc.h"

namespace kvs {
namespace diag {

void Sink::text(const wchar_t *s)
{
    append(s, std::wcslen(s));
}

void Sink::string(const wchar_t *s)
{
    text(s != nullptr ? s : L"(null)");
}

void Sink::format(const wchar_t *fmt, ...)
{
    // Every piece formatted here is a few numbers and fixed words.
    wchar_t piece[128];
    std::va_list args;
    va_start(args, fmt);
    int n = std::vswprintf(piece, sizeof(piece) / sizeof(piece[0]), fmt, args);
    va_end(args);
    if (n > 0) append(piece, static_cast<std::size_t>(n));
}

void Sink::pad(int indentation)
{
    static const wchar_t kSpaces[] = L"                ";
    constexpr std::size_t kChunk = sizeof(kSpaces) / sizeof(kSpaces[0]) - 1;
    std::size_t n = indentation > 1 ? static_cast<std::size_t>(indentation) : 1;
    while (n > 0) {
        std::size_t k = n < kChunk ? n : kChunk;
        append(kSpaces, k);
        n -= k;
    }
}

GrowSink::~GrowSink()
{
    mem_free(data_);
}

void GrowSink::append(const wchar_t *text, std::size_t n)
{
    if (failed_ || n == 0) return;
    constexpr std::size_t kMaxChars = static_cast<std::size_t>(-1) / sizeof(wchar_t);
    if (n > kMaxChars - size_) {
        failed_ = true;
        return;
    }
    std::size_t need = size_ + n;
    if (need > capacity_) {
        std::size_t grown = capacity_ < 256 ? 256 : capacity_;
        while (grown < need) grown = grown > kMaxChars / 2 ? kMaxChars : grown * 2;
        void *block = mem_realloc(data_, grown * sizeof(wchar_t));
        if (block == nullptr) {
            failed_ = true;
            return;
        }
        data_ = static_cast<wchar_t *>(block);
        capacity_ = grown;
    }
    std::wmemcpy(data_ + size_, text, n);
    size_ = need;
}

BoundedSink::BoundedSink(wchar_t *buffer, std::size_t size) : buffer_(buffer), size_(size)
{
    // A buffer that arrives without a terminator is cut to its last
    // character instead of being read past its end.
    length_ = wcsnlen(buffer_, size_);
    if (length_ == size_) {
        length_ = size_ - 1;
        buffer_[length_] = L'\0';
    }
}

void BoundedSink::append(const wchar_t *text, std::size_t n)
{
    std::size_t room = size_ - 1 - length_;
    if (n > room) n = room;
    std::wmemcpy(buffer_ + length_, text, n);
    length_ += n;
    buffer_[length_] = L'\0';
}

void StreamSink::append(const wchar_t *text, std::size_t n)
{
    write_wide(stream_, text, n);
}

void write_wide(std::FILE *stream, const wchar_t *text, std::size_t n)
{
    if (std::fwide(stream, 0) > 0) {
        // The stream only takes wide output; it encodes by itself.
        for (std::size_t i = 0; i < n; ++i)
            if (std::fputwc(text[i], stream) == WEOF) {
                std::clearerr(stream);
                std::fputwc(L'?', stream);
            }
        return;
    }
    char bytes[512];
    std::size_t used = 0;
    std::mbstate_t state{};
    for (std::size_t i = 0; i < n; ++i) {
        if (used > sizeof(bytes) - MB_LEN_MAX) {
            std::fwrite(bytes, 1, used, stream);
            used = 0;
        }
        std::size_t k = std::wcrtomb(bytes + used, text[i], &state);
        if (k == static_cast<std::size_t>(-1)) {
            bytes[used++] = '?';
            state = std::mbstate_t{};
        } else {
            used += k;
        }
    }
    if (used > 0) std::fwrite(bytes, 1, used, stream);
}

}  // namespace diag
}  // namespace kvs
