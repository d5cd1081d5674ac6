// UTF-16 as the blocks carry strings: one writer from wchar_t code points to
// UTF-16 units and one joiner back, shared by both block variants and the
// strict validator; the encoders' short cut for strings whose characters
// are already their units; and the surrogate ranges for whoever else must
// tell a code point from half of one.
#ifndef KVSET_SRC_SERIAL_UTF16_H
#define KVSET_SRC_SERIAL_UTF16_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "serial/wire.h"

namespace kvs {
namespace serial {

constexpr std::uint32_t kHighSurrogateFirst = 0xD800;
constexpr std::uint32_t kLowSurrogateFirst = 0xDC00;
constexpr std::uint32_t kSurrogateLast = 0xDFFF;
constexpr std::uint32_t kMaxCodePoint = 0x10FFFF;
constexpr std::uint32_t kReplacementChar = 0xFFFD;

inline bool is_high_surrogate(std::uint32_t u) { return u >= kHighSurrogateFirst && u < kLowSurrogateFirst; }
inline bool is_low_surrogate(std::uint32_t u) { return u >= kLowSurrogateFirst && u <= kSurrogateLast; }
inline bool is_surrogate(std::uint32_t u) { return u >= kHighSurrogateFirst && u <= kSurrogateLast; }

// A wchar_t as it is written: one beyond U+10FFFF (or negative) has no UTF-16
// form and becomes U+FFFD. A surrogate wchar_t is written as the unit it is.
inline std::uint32_t writable_code_point(wchar_t c)
{
    const auto cp = static_cast<std::uint32_t>(c);
    return cp > kMaxCodePoint ? kReplacementChar : cp;
}

// UTF-16 units of `s` with its terminator (s is not null).
inline std::uint64_t utf16_units(const wchar_t *s)
{
    std::uint64_t n = 1;
    for (; *s != 0; ++s) n += writable_code_point(*s) > 0xFFFF ? 2 : 1;
    return n;
}

// The characters of `s` before its terminator, and whether each is its own
// UTF-16 unit: at most U+FFFF (lone surrogates included), so neither a pair
// nor a replacement. The characters' bits are or-ed together, in a loop of
// known length that the compiler can widen.
struct WideScan {
    std::size_t length;
    bool oneUnitEach;
};

inline WideScan scan_wide(const wchar_t *s)
{
    const std::size_t n = std::wcslen(s);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < n; ++i) bits |= static_cast<std::uint32_t>(s[i]);
    return {n, bits <= 0xFFFF};
}

// A 32-bit little-endian wchar_t that is its own unit already has the bytes
// of its wire unit.
constexpr bool kWideIsWireUnit = sizeof(wchar_t) == 4 && kHostIsLittleEndian;

// Stores the n characters of `s` as 32-bit wire units at `at`, checking on
// the way whether each is its own unit (see scan_wide). When one is not, the
// bytes stored are not the string's units and the answer is false. Where a
// wchar_t already is its wire unit, four go at a time, the last four
// overlapping those before them, so no unit is left over.
inline bool store_direct_units(std::uint8_t *at, const wchar_t *s, std::size_t n)
{
    if (kWideIsWireUnit && n >= 4) {
        using Four = std::uint32_t __attribute__((vector_size(16)));
        Four bits = {};
        const auto four = [&](std::size_t i) {
            Four v;
            std::memcpy(&v, s + i, 16);
            std::memcpy(at + 4 * i, &v, 16);
            bits |= v;
        };
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4) four(i);
        if (i < n) four(n - 4);
        std::uint64_t halves[2];  // two units each: no bit above 15 in any unit
        std::memcpy(halves, &bits, 16);
        return ((halves[0] | halves[1]) & 0xFFFF0000FFFF0000u) == 0;
    }
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<std::uint32_t>(s[i]);
        bits |= c;
        store_le32(at + 4 * i, c);
    }
    return bits <= 0xFFFF;
}

// Hands each UTF-16 unit of `s`, terminator included, to `unit`, which
// answers false to stop; then so does this.
template <class Unit>
inline bool write_utf16(const wchar_t *s, Unit &&unit)
{
    for (;; ++s) {
        std::uint32_t cp = writable_code_point(*s);
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            if (!unit(kHighSurrogateFirst + (cp >> 10)) || !unit(kLowSurrogateFirst + (cp & 0x3FF))) return false;
        } else if (!unit(cp)) {
            return false;
        }
        if (*s == 0) return true;
    }
}

// Joins UTF-16 units into code points: a high surrogate followed by a low
// one becomes one code point; a lone surrogate of either kind is kept as it
// is. Gives each code point to `emit` as soon as it is known; finish() gives
// a high surrogate that ended the units.
class Utf16Joiner {
public:
    template <class Emit>
    void push(std::uint32_t unit, Emit &&emit)
    {
        if (pending_ == 0) {
            if (is_high_surrogate(unit))
                pending_ = unit;
            else
                emit(unit);
            return;
        }
        const std::uint32_t high = pending_;
        pending_ = 0;
        if (is_low_surrogate(unit)) {
            emit(0x10000 + ((high - kHighSurrogateFirst) << 10) + (unit - kLowSurrogateFirst));
            return;
        }
        emit(high);
        push(unit, emit);
    }

    template <class Emit>
    void finish(Emit &&emit)
    {
        if (pending_ != 0) emit(pending_);
        pending_ = 0;
    }

private:
    std::uint32_t pending_ = 0;  // a high surrogate waiting for its partner
};

}  // namespace serial
}  // namespace kvs

#endif
