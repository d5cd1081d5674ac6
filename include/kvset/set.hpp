// set.hpp - the C++17 interface: an owning KV-Set with typed values.
//
// Header-only over the C API (ctkvs.h) and the inspection API (inspect.h).
//
//   kvset::Set set;                          // a new empty set, destroyed with the object
//   set.put(0x1234, 5);                      // CTint
//   set.put(0x1235, kvset::Symbol{0x10050}); // the wrapper chooses the type
//   set.put(0x1236, "café");                 // CTstring, from UTF-8
//   for (const auto &[key, value] : set) ... // pair order; the cursor stays
//
// Every failure throws kvset::Error. A Set is movable; its copy is a deep
// copy (a new registered set). handle() lends the handle, release() hands it
// over, Set::adopt() takes one over.
//
// Strings: a CTstring holds wchar_t characters, kept exactly in std::wstring.
// to_utf8()/from_utf8() convert them; a character that is no Unicode scalar
// value (a lone surrogate U+D800..U+DFFF) is written as the three bytes of the
// generalised UTF-8 form (ED A0 80 for U+D800) and read back from them, so a
// conversion never loses a character. Characters above U+10FFFF are refused.
#ifndef KVSET_SET_HPP
#define KVSET_SET_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "kvset/ctkvs.h"
#include "kvset/inspect.h"
#include "kvset/inspect_c.h"

namespace kvset {

// ---- Errors ----------------------------------------------------------------

class Error : public std::runtime_error {
public:
    // what(): "<operation>: <error name> (status <n>)[, key 0x<key>][: detail]".
    Error(const std::string &operation, CTstatus status, CTerror error, std::optional<CTsymbol> key = std::nullopt,
          const std::string &detail = std::string())
        : std::runtime_error(describe(operation, status, error, key, detail)), status_(status), error_(error), key_(key)
    {
    }
    CTstatus status() const noexcept { return status_; }
    CTerror error() const noexcept { return error_; }
    std::optional<CTsymbol> key() const noexcept { return key_; }

    static std::string error_name(CTerror error)
    {
        char name[64];
        MRQkvs_ErrorName(error, name, sizeof name);
        return name;
    }

private:
    static std::string describe(const std::string &operation, CTstatus status, CTerror error,
                                std::optional<CTsymbol> key, const std::string &detail)
    {
        std::string line = operation + ": " + error_name(error) + " (status " + std::to_string(status) + ")";
        if (key) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(*key));
            line += std::string(", key ") + hex;
        }
        if (!detail.empty()) line += ": " + detail;
        return line;
    }

    CTstatus status_;
    CTerror error_;
    std::optional<CTsymbol> key_;
};

namespace detail {
// Throws unless the C call succeeded (status 0). The symbol is taken by
// reference, so it is read after the call that writes it.
inline void check(const char *operation, CTstatus status, const CTerror &error,
                  std::optional<CTsymbol> key = std::nullopt)
{
    if (status != CT_statusOK) throw Error(operation, status, error, key);
}

// The error of an inspection call that answered false with a line: the heap
// running out ("out of memory") is CT_errorNoMemory, anything else `otherwise`.
inline Error text_failure(const char *operation, const std::string &why, CTerror otherwise)
{
    return Error(operation, CT_statusFail, why == "out of memory" ? CT_errorNoMemory : otherwise, std::nullopt, why);
}
}  // namespace detail

// ---- UTF-8 -----------------------------------------------------------------

inline std::string to_utf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {  // surrogates too: the generalised form
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c <= 0x10FFFF) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            throw Error("to_utf8", CT_statusFail, CT_errorBadParameter, std::nullopt,
                        "character " + std::to_string(c) + " is above U+10FFFF");
        }
    }
    return out;
}

inline std::wstring from_utf8(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    auto bad = [](std::size_t at) {
        return Error("from_utf8", CT_statusFail, CT_errorBadParameter, std::nullopt,
                     "malformed UTF-8 at byte " + std::to_string(at));
    };
    for (std::size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        std::size_t more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 9;
        if (more == 9 || i + more >= text.size()) throw bad(i);
        std::uint32_t c = more == 0 ? b : more == 1 ? (b & 0x1Fu) : more == 2 ? (b & 0x0Fu) : (b & 0x07u);
        for (std::size_t k = 1; k <= more; ++k) {
            auto n = static_cast<unsigned char>(text[i + k]);
            if ((n & 0xC0) != 0x80) throw bad(i);
            c = (c << 6) | (n & 0x3Fu);
        }
        static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (c < kLeast[more] || c > 0x10FFFF || c == 0) throw bad(i);  // overlong, too large, or NUL
        out += static_cast<wchar_t>(c);
        i += more + 1;
    }
    return out;
}

// ---- Values ----------------------------------------------------------------

class Set;

struct Irange {
    std::int32_t lower = 0;
    std::int32_t upper = 0;
    friend bool operator==(const Irange &a, const Irange &b) { return a.lower == b.lower && a.upper == b.upper; }
    friend bool operator!=(const Irange &a, const Irange &b) { return !(a == b); }
};

// A single value whose C++ type alone would not say its KV-Set type.
template <std::uint32_t Code, typename T>
struct Tagged {
    static constexpr std::uint32_t code = Code;
    T value{};
    friend bool operator==(const Tagged &a, const Tagged &b) { return a.value == b.value; }
    friend bool operator!=(const Tagged &a, const Tagged &b) { return !(a == b); }
};

// An array value of one type; Element is the element as the C API holds it
// (std::optional for strings and sets, whose elements may be absent).
template <std::uint32_t Code, typename Element>
struct Array {
    static constexpr std::uint32_t code = Code;
    using element_type = Element;
    std::vector<Element> elements;
    friend bool operator==(const Array &a, const Array &b) { return a.elements == b.elements; }
    friend bool operator!=(const Array &a, const Array &b) { return !(a == b); }
};

// A string; nullopt is the absent string a null put stores.
struct String {
    static constexpr std::uint32_t code = KV_TYPE_STRING;
    std::optional<std::wstring> text;
    String() = default;
    String(std::wstring t) : text(std::move(t)) {}
    static String utf8(std::string_view t) { return String(from_utf8(t)); }
    std::string to_utf8() const { return text ? kvset::to_utf8(*text) : std::string(); }
    friend bool operator==(const String &a, const String &b) { return a.text == b.text; }
    friend bool operator!=(const String &a, const String &b) { return !(a == b); }
};

using Bool = Tagged<KV_TYPE_BOOL, std::uint32_t>;
using Conference = Tagged<KV_TYPE_CONFERENCE, std::uint32_t>;
using Group = Tagged<KV_TYPE_GROUP, std::uint32_t>;
using Mode = Tagged<KV_TYPE_MODE, std::uint32_t>;
using Session = Tagged<KV_TYPE_SESSION, std::uint32_t>;
using Service = Tagged<KV_TYPE_SERVICE, std::uint32_t>;
using Status = Tagged<KV_TYPE_STATUS, CTstatus>;
using Symbol = Tagged<KV_TYPE_SYMBOL, CTsymbol>;
using Time = Tagged<KV_TYPE_TIME, std::uint32_t>;
using Uint = Tagged<KV_TYPE_UINT, std::uint32_t>;
using Stream = Tagged<KV_TYPE_STREAM, std::uint32_t>;
using Char = Tagged<KV_TYPE_CHAR, std::uint16_t>;
// Put as an error value; the store keeps it as a symbol, so a get answers Symbol.
using ErrorValue = Tagged<KV_TYPE_ERROR, CTerror>;
using Connection = Tagged<KV_TYPE_CONNECTION, std::uint32_t>;
using BoolArray = Array<KV_TYPE_BOOL_ARRAY, std::uint32_t>;
using ByteArray = Array<KV_TYPE_BYTE_ARRAY, std::uint8_t>;
using ConferenceArray = Array<KV_TYPE_CONFERENCE_ARRAY, std::uint32_t>;
using GroupArray = Array<KV_TYPE_GROUP_ARRAY, std::uint32_t>;
using IntArray = Array<KV_TYPE_INT_ARRAY, std::int32_t>;
using IrangeArray = Array<KV_TYPE_IRANGE_ARRAY, Irange>;
using SetArray = Array<KV_TYPE_KVS_ARRAY, std::optional<Set>>;
using ModeArray = Array<KV_TYPE_MODE_ARRAY, std::uint32_t>;
using SessionArray = Array<KV_TYPE_SESSION_ARRAY, std::uint32_t>;
using ServiceArray = Array<KV_TYPE_SERVICE_ARRAY, std::uint32_t>;
using StatusArray = Array<KV_TYPE_STATUS_ARRAY, CTstatus>;
using StringArray = Array<KV_TYPE_STRING_ARRAY, std::optional<std::wstring>>;
using SymbolArray = Array<KV_TYPE_SYMBOL_ARRAY, CTsymbol>;
using ErrorArray = Array<KV_TYPE_ERROR_ARRAY, CTerror>;
using ConnectionArray = Array<KV_TYPE_CONNECTION_ARRAY, std::uint32_t>;
using UintArray = Array<KV_TYPE_UINT_ARRAY, std::uint32_t>;
using TimeArray = Array<KV_TYPE_TIME_ARRAY, std::uint32_t>;

// The type code of each value type (CTint is a plain int32_t, CTirange an
// Irange, a nested set a Set).
template <typename T>
struct type_code {
    static constexpr std::uint32_t value = T::code;
};
template <>
struct type_code<std::int32_t> {
    static constexpr std::uint32_t value = KV_TYPE_INT;
};
template <>
struct type_code<Irange> {
    static constexpr std::uint32_t value = KV_TYPE_IRANGE;
};
template <>
struct type_code<Set> {
    static constexpr std::uint32_t value = KV_TYPE_KVS;
};

// ---- Set -------------------------------------------------------------------

class Value;

enum class Format { memory, file };

class Set {
public:
    class iterator;

    Set()
    {
        CTerror e = CT_errorOK;
        detail::check("CTkvs_Create", CTkvs_Create(&handle_, &e), e);
    }
    Set(const Set &other) : Set() { copy_from(other.handle_); }
    Set(Set &&other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
    Set &operator=(const Set &other)
    {
        if (this != &other) *this = Set(other);
        return *this;
    }
    Set &operator=(Set &&other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    ~Set() { reset(); }

    // Takes over a registered handle (destroyed with the object); an invalid
    // handle is refused and left alone.
    static Set adopt(CTkvs handle)
    {
        if (ValidateKVS(handle) != CT_errorOK)
            throw Error("Set::adopt", CT_statusFail, CT_errorInvalidKVSet);
        return Set(handle, Adopt{});
    }
    // A deep copy of any registered set, for example one a get lends.
    static Set copy_of(CTkvs handle)
    {
        Set s;
        s.copy_from(handle);
        return s;
    }

    // The handle, lent: valid while this object owns it. 0 after a move or release.
    CTkvs handle() const noexcept { return handle_; }
    // Hands the handle over to the caller, who destroys it; the object is empty.
    CTkvs release() noexcept { return std::exchange(handle_, 0); }

    std::size_t size() const { return static_cast<std::size_t>(MRQkvs_GetNumPairs(handle_)); }
    bool empty() const { return size() == 0; }
    bool contains(CTsymbol key) const { return type_of(key).has_value(); }
    // The type code of the pair with the key; the cursor stays.
    std::optional<std::uint32_t> type_of(CTsymbol key) const
    {
        CTerror e = CT_errorOK;
        std::uint32_t type = 0;
        CTstatus s = MRQkvs_TypeOf(handle_, key, &type, &e);
        if (s == CT_statusWarning && e == CT_errorNoSuchKey) return std::nullopt;
        detail::check("MRQkvs_TypeOf", s, e, key);
        return type;
    }

    // Stores a copy of the value (replacing the pair of the key in place).
    void put(CTsymbol key, const Value &value);
    // A CTstring from UTF-8 text.
    void put(CTsymbol key, std::string_view utf8) { put_string(key, from_utf8(utf8)); }
    void put(CTsymbol key, std::int32_t value);
    void put(CTsymbol key, const char *utf8)
    {
        if (utf8 == nullptr) throw Error("put", CT_statusFail, CT_errorBadParameter, key, "null string");
        put(key, std::string_view(utf8));
    }
    void put(CTsymbol key, const std::string &utf8) { put(key, std::string_view(utf8)); }
    void put(CTsymbol key, const std::wstring &text) { put_string(key, text); }

    // The value of the key, copied out; nullopt when there is no such pair.
    std::optional<Value> get(CTsymbol key) const;
    // The value as T; Error (1, CT_errorNoSuchKey) when absent or of another type.
    template <typename T>
    T get(CTsymbol key) const;

    // Removes the pair of the key; false when there was none.
    bool erase(CTsymbol key)
    {
        if (!contains(key)) return false;
        CTerror e = CT_errorOK;
        detail::check("CTkvs_Remove", CTkvs_Remove(handle_, &key, 1, &e), e, key);
        return true;
    }
    void clear()
    {
        CTerror e = CT_errorOK;
        detail::check("CTkvs_Clear", CTkvs_Clear(handle_, &e), e);
    }

    // Equal pairs in the same order.
    friend bool operator==(const Set &a, const Set &b)
    {
        CTerror e = CT_errorOK;
        std::uint32_t same = 0;
        detail::check("CTkvs_Match", CTkvs_Match(a.handle_, b.handle_, &same, &e), e);
        return same == 1;
    }
    friend bool operator!=(const Set &a, const Set &b) { return !(a == b); }

    iterator begin() const;
    iterator end() const;

    // ---- Blocks, files, JSON, diff, tree -----------------------------------
    std::vector<std::uint8_t> encode(Format format = Format::memory) const
    {
        std::vector<unsigned char> bytes;
        std::string why;
        if (!writeBlock(handle_, format == Format::memory ? BlockFormat::Memory : BlockFormat::File, &bytes, &why))
            throw detail::text_failure("encode", why, CT_errorBadParameter);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    // Reads a framed memory buffer, a bare memory block or a file block,
    // checked strictly first.
    static Set decode(const std::vector<std::uint8_t> &bytes) { return decode(bytes.data(), bytes.size(), BlockFormat::Auto); }
    static Set decode(const std::uint8_t *bytes, std::size_t size, BlockFormat format = BlockFormat::Auto)
    {
        CTkvs made = 0;
        BlockInfo info{};
        BlockFault fault{};
        if (!readBlock(bytes, size, format, &made, &info, &fault))
            throw Error("decode", CT_statusFail, fault.offset == 0 && fault.reason == "out of memory"
                                                     ? CT_errorNoMemory
                                                     : CT_errorBadFormat,
                        std::nullopt, formatFault(fault));
        return Set(made, Adopt{});
    }
    // Writes the file block, replacing the file whole as CTkvs_WriteFile does.
    void write(const std::string &path) const
    {
        std::vector<std::uint8_t> bytes = encode(Format::file);
        std::string why;
        if (!writeFile(path, bytes.data(), bytes.size(), &why))
            throw Error("write", CT_statusFail, CT_errorFileOpen, std::nullopt, why);
    }
    static Set read(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw Error("read", CT_statusFail, CT_errorFileOpen, std::nullopt, "cannot open '" + path + "'");
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw Error("read", CT_statusFail, CT_errorFileOpen, std::nullopt, "cannot read '" + path + "'");
        return decode(bytes.data(), bytes.size(), BlockFormat::File);
    }

    std::string to_json() const
    {
        std::string json, why;
        if (!toJson(handle_, &json, &why)) throw detail::text_failure("to_json", why, CT_errorInvalidKVSet);
        return json;
    }
    static Set from_json(const std::string &json)
    {
        CTkvs made = 0;
        std::string why;
        if (!fromJson(json, &made, &why)) throw detail::text_failure("from_json", why, CT_errorBadFormat);
        return Set(made, Adopt{});
    }
    // One line a pair, "key (type): value", nested sets indented.
    std::string render() const
    {
        std::string text, why;
        if (!renderTree(handle_, &text, &why)) throw detail::text_failure("render", why, CT_errorInvalidKVSet);
        return text;
    }

private:
    struct Adopt {};
    Set(CTkvs handle, Adopt) noexcept : handle_(handle) {}

    void reset() noexcept
    {
        if (handle_ != 0) {
            CTerror e = CT_errorOK;
            CTkvs_Destroy(handle_, &e);
            handle_ = 0;
        }
    }
    void copy_from(CTkvs source)
    {
        CTerror e = CT_errorOK;
        detail::check("CTkvs_Copy", CTkvs_Copy(handle_, source, &e), e);
    }
    void put_string(CTsymbol key, const std::wstring &text)
    {
        CTerror e = CT_errorOK;
        detail::check("CTkvs_PutString", CTkvs_PutString(handle_, key, text.c_str(), &e), e, key);
    }

    CTkvs handle_ = 0;
};

// Every difference between two sets (see kvset::diff in inspect.h).
inline std::vector<Difference> diff(const Set &a, const Set &b)
{
    std::vector<Difference> out;
    std::string why;
    if (!diff(a.handle(), b.handle(), &out, &why)) throw detail::text_failure("diff", why, CT_errorInvalidKVSet);
    return out;
}

// The 35 value types, one alternative each, in type-code order: value_codes
// lists the code of each alternative, and the test of this header checks it
// against the library's type table.
using ValueVariant =
    std::variant<Bool, Conference, Group, std::int32_t, Mode, Session, Service, Status, Symbol, Time, Uint, Stream, Char,
                 ErrorValue, Connection, Irange, Set, String, BoolArray, ByteArray, ConferenceArray, GroupArray,
                 IntArray, IrangeArray, SetArray, ModeArray, SessionArray, ServiceArray, StatusArray, StringArray,
                 SymbolArray, ErrorArray, ConnectionArray, UintArray, TimeArray>;

namespace detail {
template <typename V>
struct codes_of;
template <typename... T>
struct codes_of<std::variant<T...>> {
    static constexpr std::uint32_t value[] = {type_code<T>::value...};
};
template <typename... T>
constexpr std::uint32_t codes_of<std::variant<T...>>::value[];

constexpr bool strictly_increasing(const std::uint32_t *codes, std::size_t n)
{
    for (std::size_t i = 1; i < n; ++i)
        if (codes[i] <= codes[i - 1]) return false;
    return true;
}
}  // namespace detail

constexpr std::size_t value_type_count = std::variant_size_v<ValueVariant>;
constexpr const std::uint32_t *value_codes = detail::codes_of<ValueVariant>::value;
static_assert(value_type_count == 35, "one alternative per value type");
static_assert(detail::strictly_increasing(detail::codes_of<ValueVariant>::value, value_type_count),
              "alternatives in type-code order, each code once");

class Value : public ValueVariant {
public:
    using ValueVariant::ValueVariant;
    Value() : ValueVariant(std::int32_t{0}) {}
    Value(const ValueVariant &v) : ValueVariant(v) {}
    Value(ValueVariant &&v) : ValueVariant(std::move(v)) {}
    const ValueVariant &variant() const { return *this; }
    // The type code this value is put with.
    std::uint32_t code() const { return value_codes[index()]; }
};

// ---- put and get -----------------------------------------------------------

namespace detail {

inline CTstatus put_word(CTkvs h, CTsymbol k, std::uint32_t code, std::uint32_t v, CTerror *e)
{
    switch (code) {
    case KV_TYPE_BOOL: return CTkvs_PutBool(h, k, v, e);
    case KV_TYPE_CONFERENCE: return CTkvs_PutConference(h, k, v, e);
    case KV_TYPE_GROUP: return CTkvs_PutGroup(h, k, v, e);
    case KV_TYPE_MODE: return CTkvs_PutMode(h, k, v, e);
    case KV_TYPE_SESSION: return CTkvs_PutSession(h, k, v, e);
    case KV_TYPE_SERVICE: return CTkvs_PutService(h, k, v, e);
    case KV_TYPE_STATUS: return CTkvs_PutStatus(h, k, v, e);
    case KV_TYPE_SYMBOL: return CTkvs_PutSymbol(h, k, v, e);
    case KV_TYPE_TIME: return CTkvs_PutTime(h, k, v, e);
    case KV_TYPE_UINT: return CTkvs_PutUint(h, k, v, e);
    case KV_TYPE_STREAM: return CTkvs_PutStream(h, k, v, e);
    case KV_TYPE_CHAR: return CTkvs_PutChar(h, k, static_cast<std::uint16_t>(v), e);
    case KV_TYPE_ERROR: return CTkvs_PutError(h, k, v, e);
    case KV_TYPE_CONNECTION: return CTkvs_PutConnection(h, k, v, e);
    default: *e = CT_errorBadParameter; return CT_statusFail;
    }
}

inline CTstatus get_word(CTkvs h, CTsymbol k, std::uint32_t code, std::uint32_t *v, CTerror *e)
{
    switch (code) {
    case KV_TYPE_BOOL: return CTkvs_GetBool(h, k, v, e);
    case KV_TYPE_CONFERENCE: return CTkvs_GetConference(h, k, v, e);
    case KV_TYPE_GROUP: return CTkvs_GetGroup(h, k, v, e);
    case KV_TYPE_MODE: return CTkvs_GetMode(h, k, v, e);
    case KV_TYPE_SESSION: return CTkvs_GetSession(h, k, v, e);
    case KV_TYPE_SERVICE: return CTkvs_GetService(h, k, v, e);
    case KV_TYPE_STATUS: return CTkvs_GetStatus(h, k, v, e);
    case KV_TYPE_SYMBOL: return CTkvs_GetSymbol(h, k, v, e);
    case KV_TYPE_TIME: return CTkvs_GetTime(h, k, v, e);
    case KV_TYPE_UINT: return CTkvs_GetUint(h, k, v, e);
    case KV_TYPE_STREAM: return CTkvs_GetStream(h, k, v, e);
    case KV_TYPE_CONNECTION: return CTkvs_GetConnection(h, k, v, e);
    case KV_TYPE_CHAR: {
        std::uint16_t c = 0;
        CTstatus s = CTkvs_GetChar(h, k, &c, e);
        *v = c;
        return s;
    }
    default: *e = CT_errorBadParameter; return CT_statusFail;
    }
}

// The 32-bit arrays: one put and one get per code.
inline CTstatus put_words(CTkvs h, CTsymbol k, std::uint32_t code, const std::uint32_t *v, std::uint32_t n, CTerror *e)
{
    switch (code) {
    case KV_TYPE_BOOL_ARRAY: return CTkvs_PutBoolArray(h, k, v, n, e);
    case KV_TYPE_CONFERENCE_ARRAY: return CTkvs_PutCONFArray(h, k, v, n, e);
    case KV_TYPE_GROUP_ARRAY: return CTkvs_PutGroupArray(h, k, v, n, e);
    case KV_TYPE_INT_ARRAY: return CTkvs_PutIntArray(h, k, reinterpret_cast<const std::int32_t *>(v), n, e);
    case KV_TYPE_MODE_ARRAY: return CTkvs_PutModeArray(h, k, v, n, e);
    case KV_TYPE_SESSION_ARRAY: return CTkvs_PutSessionArray(h, k, v, n, e);
    case KV_TYPE_SERVICE_ARRAY: return CTkvs_PutServiceArray(h, k, v, n, e);
    case KV_TYPE_STATUS_ARRAY: return CTkvs_PutStatusArray(h, k, v, n, e);
    case KV_TYPE_SYMBOL_ARRAY: return CTkvs_PutSymbolArray(h, k, v, n, e);
    case KV_TYPE_ERROR_ARRAY: return CTkvs_PutErrorArray(h, k, v, n, e);
    case KV_TYPE_CONNECTION_ARRAY: return CTkvs_PutCONNArray(h, k, v, n, e);
    case KV_TYPE_UINT_ARRAY: return CTkvs_PutUintArray(h, k, v, n, e);
    case KV_TYPE_TIME_ARRAY: return CTkvs_PutTimeArray(h, k, v, n, e);
    default: *e = CT_errorBadParameter; return CT_statusFail;
    }
}

inline CTstatus get_words(CTkvs h, CTsymbol k, std::uint32_t code, std::uint32_t **v, std::int32_t *n, CTerror *e)
{
    switch (code) {
    case KV_TYPE_BOOL_ARRAY: return CTkvs_GetBoolArray(h, k, v, n, e);
    case KV_TYPE_CONFERENCE_ARRAY: return CTkvs_GetCONFArray(h, k, v, n, e);
    case KV_TYPE_GROUP_ARRAY: return CTkvs_GetGroupArray(h, k, v, n, e);
    case KV_TYPE_INT_ARRAY: return CTkvs_GetIntArray(h, k, reinterpret_cast<std::int32_t **>(v), n, e);
    case KV_TYPE_MODE_ARRAY: return CTkvs_GetModeArray(h, k, v, n, e);
    case KV_TYPE_SESSION_ARRAY: return CTkvs_GetSessionArray(h, k, v, n, e);
    case KV_TYPE_SERVICE_ARRAY: return CTkvs_GetSrvArray(h, k, v, n, e);
    case KV_TYPE_STATUS_ARRAY: return CTkvs_GetStatusArray(h, k, v, n, e);
    case KV_TYPE_SYMBOL_ARRAY: return CTkvs_GetSymbolArray(h, k, v, n, e);
    case KV_TYPE_ERROR_ARRAY: return CTkvs_GetErrorArray(h, k, v, n, e);
    case KV_TYPE_CONNECTION_ARRAY: return CTkvs_GetCONNArray(h, k, v, n, e);
    case KV_TYPE_UINT_ARRAY: return CTkvs_GetUintArray(h, k, v, n, e);
    case KV_TYPE_TIME_ARRAY: return CTkvs_GetTimeArray(h, k, v, n, e);
    default: *e = CT_errorBadParameter; return CT_statusFail;
    }
}

inline std::uint32_t count_of(std::size_t n)
{
    if (n > 0x3FFFFFFFu) throw Error("put", CT_statusFail, CT_errorBadParameter, std::nullopt, "array too long");
    return static_cast<std::uint32_t>(n);
}

// Builds the value of alternative I of ValueVariant from the pair with the key.
template <std::size_t I>
Value read_alternative(CTkvs h, CTsymbol key)
{
    using T = std::variant_alternative_t<I, ValueVariant>;
    constexpr std::uint32_t code = type_code<T>::value;
    CTerror e = CT_errorOK;
    T out{};
    if constexpr (std::is_same_v<T, std::int32_t>) {
        check("CTkvs_GetInt", CTkvs_GetInt(h, key, &out, &e), e, key);
    } else if constexpr (std::is_same_v<T, Irange>) {
        struct_Irange r{};
        check("CTkvs_GetIrange", CTkvs_GetIrange(h, key, &r, &e), e, key);
        out = Irange{r.lower, r.upper};
    } else if constexpr (std::is_same_v<T, Set>) {
        CTkvs nested = 0;
        check("CTkvs_GetKVS", CTkvs_GetKVS(h, key, &nested, &e), e, key);
        return Value(Set::copy_of(nested));
    } else if constexpr (std::is_same_v<T, String>) {
        wchar_t *text = nullptr;
        check("CTkvs_GetString", CTkvs_GetString(h, key, &text, &e), e, key);
        if (text != nullptr) out.text = std::wstring(text);
    } else if constexpr (std::is_same_v<T, ByteArray>) {
        std::uint8_t *bytes = nullptr;
        std::int32_t n = 0;
        check("CTkvs_GetByteArray", CTkvs_GetByteArray(h, key, &bytes, &n, &e), e, key);
        if (n > 0) out.elements.assign(bytes, bytes + n);
    } else if constexpr (std::is_same_v<T, IrangeArray>) {
        struct_Irange *r = nullptr;
        std::int32_t n = 0;
        check("CTkvs_GetIrangeArray", CTkvs_GetIrangeArray(h, key, &r, &n, &e), e, key);
        for (std::int32_t i = 0; i < n; ++i) out.elements.push_back(Irange{r[i].lower, r[i].upper});
    } else if constexpr (std::is_same_v<T, StringArray>) {
        wchar_t **s = nullptr;
        std::int32_t n = 0;
        check("CTkvs_GetStringArray", CTkvs_GetStringArray(h, key, &s, &n, &e), e, key);
        for (std::int32_t i = 0; i < n; ++i)
            out.elements.push_back(s[i] ? std::optional<std::wstring>(s[i]) : std::nullopt);
    } else if constexpr (std::is_same_v<T, SetArray>) {
        CTkvs *sets = nullptr;
        std::int32_t n = 0;
        CTstatus s = CTkvs_GetKVSArray(h, key, &sets, &n, &e);
        // An empty element answers CT_errorInvalidKVSet after writing the array.
        if (s != CT_statusOK && !(e == CT_errorInvalidKVSet && sets != nullptr)) check("CTkvs_GetKVSArray", s, e, key);
        for (std::int32_t i = 0; i < n; ++i)
            out.elements.push_back(sets[i] == 0 ? std::optional<Set>() : std::optional<Set>(Set::copy_of(sets[i])));
    } else if constexpr (code < KV_TYPE_IRANGE) {  // the other single values
        std::uint32_t word = 0;
        check("get", get_word(h, key, code, &word, &e), e, key);
        out.value = static_cast<decltype(out.value)>(word);
    } else {  // the other 32-bit arrays
        std::uint32_t *words = nullptr;
        std::int32_t n = 0;
        check("get", get_words(h, key, code, &words, &n, &e), e, key);
        for (std::int32_t i = 0; i < n; ++i) out.elements.push_back(static_cast<typename T::element_type>(words[i]));
    }
    return Value(std::move(out));
}

template <std::size_t... I>
Value read_value(CTkvs h, CTsymbol key, std::size_t index, std::index_sequence<I...>)
{
    using Reader = Value (*)(CTkvs, CTsymbol);
    static constexpr Reader readers[] = {&read_alternative<I>...};
    return readers[index](h, key);
}

// The alternative of a stored type code (27 never stored: a get finds 21).
inline std::optional<std::size_t> index_of_code(std::uint32_t code)
{
    for (std::size_t i = 0; i < value_type_count; ++i)
        if (value_codes[i] == code) return i;
    return std::nullopt;
}

}  // namespace detail

inline void Set::put(CTsymbol key, const Value &value)
{
    CTkvs h = handle_;
    std::visit(
        [h, key](const auto &v) {
            using T = std::decay_t<decltype(v)>;
            constexpr std::uint32_t code = type_code<T>::value;
            CTerror e = CT_errorOK;
            CTstatus s = CT_statusOK;
            if constexpr (std::is_same_v<T, std::int32_t>) {
                s = CTkvs_PutInt(h, key, v, &e);
            } else if constexpr (std::is_same_v<T, Irange>) {
                s = CTkvs_PutIrange(h, key, v.lower, v.upper, &e);
            } else if constexpr (std::is_same_v<T, Set>) {
                s = CTkvs_PutKVS(h, key, v.handle(), &e);
            } else if constexpr (std::is_same_v<T, String>) {
                s = CTkvs_PutString(h, key, v.text ? v.text->c_str() : nullptr, &e);
            } else if constexpr (std::is_same_v<T, ByteArray>) {
                s = CTkvs_PutByteArray(h, key, v.elements.data(), detail::count_of(v.elements.size()), &e);
            } else if constexpr (std::is_same_v<T, IrangeArray>) {
                std::vector<struct_Irange> r;
                for (const Irange &x : v.elements) r.push_back(struct_Irange{x.lower, x.upper});
                s = CTkvs_PutIrangeArray(h, key, r.data(), detail::count_of(r.size()), &e);
            } else if constexpr (std::is_same_v<T, StringArray>) {
                std::vector<const wchar_t *> p;
                for (const auto &x : v.elements) p.push_back(x ? x->c_str() : nullptr);
                s = CTkvs_PutStringArray(h, key, p.data(), detail::count_of(p.size()), &e);
            } else if constexpr (std::is_same_v<T, SetArray>) {
                std::vector<CTkvs> p;
                for (const auto &x : v.elements) p.push_back(x ? x->handle() : 0);
                s = CTkvs_PutKVSArray(h, key, p.data(), detail::count_of(p.size()), &e);
            } else if constexpr (code < KV_TYPE_IRANGE) {
                s = detail::put_word(h, key, code, static_cast<std::uint32_t>(v.value), &e);
            } else {
                static_assert(sizeof(typename T::element_type) == 4, "32-bit elements");
                s = detail::put_words(h, key, code, reinterpret_cast<const std::uint32_t *>(v.elements.data()),
                                      detail::count_of(v.elements.size()), &e);
            }
            detail::check("put", s, e, key);
        },
        value.variant());
}

inline void Set::put(CTsymbol key, std::int32_t value) { put(key, Value(value)); }

inline std::optional<Value> Set::get(CTsymbol key) const
{
    std::optional<std::uint32_t> type = type_of(key);
    if (!type) return std::nullopt;
    std::optional<std::size_t> index = detail::index_of_code(*type);
    if (!index) throw Error("get", CT_statusFail, CT_errorBadFormat, key, "type " + std::to_string(*type));
    return detail::read_value(handle_, key, *index, std::make_index_sequence<value_type_count>{});
}

template <typename T>
T Set::get(CTsymbol key) const
{
    std::optional<Value> v = get(key);
    if (v) {
        if (T *p = std::get_if<T>(static_cast<ValueVariant *>(&*v))) return std::move(*p);
    }
    throw Error("get", CT_statusWarning, CT_errorNoSuchKey, key);
}

// ---- Iteration ---------------------------------------------------------------

// Walks the pairs in list order without touching the set's cursor. A pair
// removed under the walk ends it with an Error (1, CT_errorNoSuchKey).
class Set::iterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::pair<CTsymbol, Value>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = value_type;

    iterator() = default;
    reference operator*() const { return {key_, *set_->get(key_)}; }
    iterator &operator++()
    {
        step(&key_);
        return *this;
    }
    iterator operator++(int)
    {
        iterator before = *this;
        ++*this;
        return before;
    }
    CTsymbol key() const { return key_; }
    std::uint32_t type() const { return type_; }
    friend bool operator==(const iterator &a, const iterator &b)
    {
        return a.set_ == b.set_ && (a.set_ == nullptr || a.key_ == b.key_);
    }
    friend bool operator!=(const iterator &a, const iterator &b) { return !(a == b); }

private:
    friend class Set;
    explicit iterator(const Set *set) : set_(set) { step(nullptr); }

    void step(const CTsymbol *previous)
    {
        CTerror e = CT_errorOK;
        CTsymbol key = 0;
        CTstatus s = MRQkvs_PairAfter(set_->handle(), previous, &key, &type_, &e);
        if (s == CT_statusWarning && e == CT_errorEndOfList) {
            set_ = nullptr;
            return;
        }
        detail::check("MRQkvs_PairAfter", s, e, previous ? std::optional<CTsymbol>(*previous) : std::nullopt);
        key_ = key;
    }

    const Set *set_ = nullptr;
    CTsymbol key_ = 0;
    std::uint32_t type_ = 0;
};

inline Set::iterator Set::begin() const { return iterator(this); }
inline Set::iterator Set::end() const { return iterator(); }

}  // namespace kvset

#endif  // KVSET_SET_HPP
