// Where the diagnostics render their text. The display and the text
// rendering write wide text into a Sink; what sits behind it (a growable
// buffer, a caller's fixed buffer, a FILE*) is the wrapper's business.
#ifndef KVSET_SRC_DIAG_SINK_H
#define KVSET_SRC_DIAG_SINK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kvs {
namespace diag {

class Sink {
public:
    Sink() = default;
    virtual ~Sink() = default;
    Sink(const Sink &) = delete;
    Sink &operator=(const Sink &) = delete;

    // Appends n characters (they may include zeros).
    virtual void append(const wchar_t *text, std::size_t n) = 0;

    void text(const wchar_t *s);
    // A string that may be absent: "(null)" stands for a null one.
    void string(const wchar_t *s);
    // printf-style formatting of a short piece (numbers and fixed words).
    void format(const wchar_t *fmt, ...);
    // What "%*lc" with the indentation and a space writes: max(n, 1) spaces.
    void pad(int indentation);
};

// A buffer that grows through the allocation seam. When an allocation fails
// it keeps what it has, drops everything after and reports failed().
class GrowSink final : public Sink {
public:
    GrowSink() = default;
    ~GrowSink() override;
    void append(const wchar_t *text, std::size_t n) override;
    const wchar_t *data() const { return data_; }
    std::size_t size() const { return size_; }
    bool failed() const { return failed_; }

private:
    wchar_t *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool failed_ = false;
};

// A caller's buffer of `size` characters holding a terminated string: text
// is appended after it, cut where the buffer is full, always terminated.
class BoundedSink final : public Sink {
public:
    BoundedSink(wchar_t *buffer, std::size_t size);
    void append(const wchar_t *text, std::size_t n) override;

private:
    wchar_t *buffer_;
    std::size_t size_;
    std::size_t length_;
};

// Writes straight to a stream (see write_wide).
class StreamSink final : public Sink {
public:
    explicit StreamSink(std::FILE *stream) : stream_(stream) {}
    void append(const wchar_t *text, std::size_t n) override;

private:
    std::FILE *stream_;
};

// Writes wide text to a stream whatever its orientation: to a wide stream
// character by character, otherwise as bytes in the locale's multibyte
// encoding. A character the locale cannot encode is written as '?'.
void write_wide(std::FILE *stream, const wchar_t *text, std::size_t n);

}  // namespace diag
}  // namespace kvs

#endif
