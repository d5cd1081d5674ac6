// The KV-Set block: one writer and one reader for the memory and the file
// variant.
//
// Wire grammar. Every integer is 32 bits, little-endian; no padding, no
// alignment. M: memory variant only, F: file variant only.
//
//   frame    (M, buffers only) := u32 0xC0DEA1DA, u32 total length,
//                                 block, u32 0xA138DAD0
//   block    := "KVSET HEADER" 0x00, i32 pair count N, N x pair
//   pair     := u32 type, u32 key, i32 count, value     (known type)
//             | u32 type, u32 key                        (writer, unknown type)
//             | u32 type, u32 key, i32 count             (reader, unknown type)
//   value by type:
//     11 12 14 15 16 18 19 20 21 22 24 25 27 28
//                       := u32 4, u32 value           (27 is stored as 21)
//     26 char           := M: u32 2, u16 unit   F: u32 4, u32 unit
//     60 range          := u32 8, i32 lower, i32 upper      (count 2)
//     61 nested         := u32 0, block
//     62 string         := string
//     101 103 105 106 109 111 112 113 115 117 118 119 120
//                       := count x (u32 4, u32 element)
//     102 bytes         := count x (u32 1, u8 byte)
//     107 ranges        := count x (u32 8, i32 lower, i32 upper)
//     108 nested array  := count x (u32 0, block | u32 size != 0 : empty element)
//     114 string array  := count x string
//   string   := [M: u8 width (written 4, read and ignored)] i32 n, n x u32 unit
//               n = UTF-16 units + terminator, or 0 for a null string; each
//               unit sits in the low 16 bits; a wchar_t above U+FFFF is a
//               surrogate pair.
//
// The reader discards element sizes except in 108, where a non-zero size is
// an empty element (handle 0); only the file writer writes one, the memory
// writer refuses it. Counts are checked against the bytes that remain before
// anything is allocated; a negative count is malformed. At most
// KVS_MAX_NESTING levels of nested blocks are written or read.
#include "serial/codec.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <cwchar>

#include "serial/utf16.h"
#include "store/alloc.h"
#include "store/key_index.h"
#include "store/pairs.h"
#include "store/registry.h"
#include "store/store.h"
#include "store/types.h"

namespace kvs {
namespace serial {

const Variant kMemoryVariant = {2, true, false, CT_errorBadFormat, CT_errorNoResource};
const Variant kFileVariant = {4, false, true, CT_errorBadHeader, CT_errorInvalidKVSet};

namespace {

constexpr std::size_t kChunkUnits = 256;  // string units staged per sink write or source read

// ---- Writer -----------------------------------------------------------------

// The memory buffer seen through a write position of its own, which can stay
// in a register: one capacity check per record, and the buffer's used length
// set only before it grows and when the block is done. Every claim is an
// append of the buffer's growth rule.
class BufferCursor {
public:
    explicit BufferCursor(OutputBuffer &buffer) : buffer_(buffer) { reload(); }
    BufferCursor(const BufferCursor &) = delete;
    BufferCursor &operator=(const BufferCursor &) = delete;
    ~BufferCursor() { settle(); }

    // Room for n bytes at the write position, which advances past them; null
    // when the buffer cannot grow. The caller fills all n bytes.
    std::uint8_t *claim(std::size_t n)
    {
        if (n > static_cast<std::size_t>(end_ - at_) && !grow(n)) return nullptr;
        std::uint8_t *p = at_;
        at_ += n;
        return p;
    }
    bool write(const void *bytes, std::size_t n)
    {
        std::uint8_t *p = claim(n);
        if (p == nullptr) return false;
        std::memcpy(p, bytes, n);
        return true;
    }

    // For a loop that keeps the write position in a register and checks the
    // room itself: the position, the end of the room, and where it stopped.
    std::uint8_t *position() const { return at_; }
    std::size_t room() const { return static_cast<std::size_t>(end_ - at_); }
    const std::uint8_t *room_end() const { return end_; }
    void advance_to(std::uint8_t *at) { at_ = at; }

private:
    void settle() { buffer_.set_used(static_cast<std::uint32_t>(at_ - buffer_.start())); }
    void reload()
    {
        at_ = buffer_.start() + buffer_.used();
        end_ = buffer_.start() + buffer_.capacity();
    }
    bool grow(std::size_t n)
    {
        settle();
        if (!buffer_.make_room(n)) return false;
        reload();
        return true;
    }

    OutputBuffer &buffer_;
    std::uint8_t *at_;
    std::uint8_t *end_;
};

// The type, key and count that open a record of a known type.
inline std::uint8_t *store_record_head(std::uint8_t *p, const KVPairNode &node)
{
    store_le32(p, node.type);
    store_le32(p + 4, node.key);
    store_le32(p + 8, static_cast<std::uint32_t>(node.count));
    return p + 12;
}

// The units of a string record: n counts the terminator (0 for a null
// string); `direct` when every character is its own unit.
struct StringUnits {
    std::uint64_t n;
    bool direct;
};

inline StringUnits string_units(const wchar_t *s)
{
    if (s == nullptr) return {0, true};
    const WideScan scan = scan_wide(s);
    if (scan.oneUnitEach) return {scan.length + 1, true};
    return {utf16_units(s), false};
}

// Out is BufferCursor for the memory encoder's buffer, whose records are
// claimed whole and filled in place; ByteSink otherwise.
template <class Out>
class Writer {
    static constexpr bool kClaims = std::is_same<Out, BufferCursor>::value;

public:
    Writer(Out &out, const Variant &variant)
        : out_(out), variant_(variant), lengthBytes_(variant.stringWidthByte ? 5 : 4)
    {
    }

    CTerror block(KVSetHeader *set, int depth)
    {
        std::uint8_t head[kMarkerBytes + 4];
        std::memcpy(head, kMarker, kMarkerBytes);
        store_le32(head + kMarkerBytes, static_cast<std::uint32_t>(set->pairCount));
        if (!out_.write(head, sizeof head)) return CT_errorNoResource;
        KVPairNode *node = set->first;
        while (node != nullptr) {
            const TypeShape type = type_shape(node->type);
            if constexpr (kClaims) {
                if (is_scalar(type)) {
                    KVPairNode *rest = scalar_run(node);
                    if (rest != node) {
                        node = rest;
                        continue;
                    }
                } else if (type.is(Shape::String) && node->value() != nullptr &&
                           string_in_room(static_cast<const wchar_t *>(node->value()), node)) {
                    node = node->next;
                    continue;
                }
            }
            CTerror verdict = pair(*node, type, depth);
            if (verdict != CT_errorOK) {
                set->current = node;  // a failure leaves the position on the pair being written
                return verdict;
            }
            node = node->next;
        }
        set->current = nullptr;
        return CT_errorOK;
    }

private:
    static constexpr std::size_t kScalarRecordBytes = 20;

    static bool is_scalar(TypeShape type) { return type.is(Shape::Scalar); }

    static std::uint8_t *store_scalar_record(std::uint8_t *p, const KVPairNode &node)
    {
        std::uint32_t v;
        std::memcpy(&v, node.value(), 4);
        p = store_record_head(p, node);
        store_le32(p, 4);
        store_le32(p + 4, v);
        return p + 8;
    }

    // Writes the records of single 32-bit values from `node` on while they
    // fit the room the buffer has, with the write position in a register;
    // returns the first pair not written (`node` itself when it needs the
    // buffer to grow).
    KVPairNode *scalar_run(KVPairNode *node)
    {
        std::uint8_t *at = out_.position();
        for (std::size_t fit = out_.room() / kScalarRecordBytes;
             fit != 0 && node != nullptr && is_scalar(type_shape(node->type)); --fit) {
            at = store_scalar_record(at, *node);
            node = node->next;
        }
        out_.advance_to(at);
        return node;
    }

    bool put32(std::uint32_t v)
    {
        std::uint8_t b[4];
        store_le32(b, v);
        return out_.write(b, 4);
    }

    // An element size and a 32-bit value in one write.
    bool sized32(std::uint32_t size, std::uint32_t v)
    {
        std::uint8_t b[8];
        store_le32(b, size);
        store_le32(b + 4, v);
        return out_.write(b, 8);
    }

    bool sized_range(const struct_Irange &r)
    {
        std::uint8_t b[12];
        store_le32(b, 8);
        store_le32(b + 4, static_cast<std::uint32_t>(r.lower));
        store_le32(b + 8, static_cast<std::uint32_t>(r.upper));
        return out_.write(b, 12);
    }

    CTerror nested(CTkvs handle, int depth)
    {
        if (depth > KVS_MAX_NESTING) return CT_errorNoResource;
        KVSetHeader *set = nullptr;
        if (registry_resolve(handle, &set) != CT_errorOK) return variant_.invalidNested;
        return block(set, depth);
    }

    CTerror pair(const KVPairNode &node, TypeShape type, int depth)
    {
        if constexpr (kClaims) {
            // The common records, each claimed whole.
            if (is_scalar(type)) {
                std::uint8_t *p = out_.claim(kScalarRecordBytes);
                if (p == nullptr) return CT_errorNoResource;
                store_scalar_record(p, node);
                return CT_errorOK;
            }
            if (type.is(Shape::String)) return claimed_string(static_cast<const wchar_t *>(node.value()), &node);
            if (type.is(Shape::Array)) {
                const auto count = static_cast<std::size_t>(node.count);
                std::uint8_t *p = out_.claim(12 + 8 * count);
                if (p == nullptr) return CT_errorNoResource;
                p = store_record_head(p, node);
                auto *values = static_cast<const std::uint32_t *>(node.value());
                for (std::size_t i = 0; i < count; ++i, p += 8) {
                    store_le32(p, 4);
                    store_le32(p + 4, values[i]);
                }
                return CT_errorOK;
            }
        }
        if (!put32(node.type) || !put32(node.key)) return CT_errorNoResource;
        if (!type.known()) return CT_errorOK;  // type and key alone
        if (!put32(static_cast<std::uint32_t>(node.count))) return CT_errorNoResource;
        const std::int32_t count = node.count;
        bool ok = true;
        switch (type.shape()) {
        case Shape::Scalar: {
            std::uint32_t v;
            std::memcpy(&v, node.value(), 4);
            ok = sized32(4, v);
            break;
        }
        case Shape::Char: {
            std::uint16_t c;
            std::memcpy(&c, node.value(), 2);
            if (variant_.charBytes == 4) {
                ok = sized32(4, c);
            } else {
                std::uint8_t b[6];
                store_le32(b, 2);
                b[4] = static_cast<std::uint8_t>(c);
                b[5] = static_cast<std::uint8_t>(c >> 8);
                ok = out_.write(b, 6);
            }
            break;
        }
        case Shape::Range: {
            struct_Irange r;
            std::memcpy(&r, node.value(), sizeof r);
            ok = sized_range(r);
            break;
        }
        case Shape::Nested:
            if (!put32(0)) return CT_errorNoResource;
            return nested(*static_cast<const CTkvs *>(node.value()), depth + 1);
        case Shape::String:
            return string(static_cast<const wchar_t *>(node.value()));
        case Shape::Array: {
            auto *values = static_cast<const std::uint32_t *>(node.value());
            for (std::int32_t i = 0; ok && i < count; ++i) ok = sized32(4, values[i]);
            break;
        }
        case Shape::Bytes: {
            auto *bytes = static_cast<const std::uint8_t *>(node.value());
            for (std::int32_t i = 0; ok && i < count; ++i) {
                std::uint8_t b[5] = {1, 0, 0, 0, bytes[i]};
                ok = out_.write(b, 5);
            }
            break;
        }
        case Shape::RangeArray: {
            auto *ranges = static_cast<const struct_Irange *>(node.value());
            for (std::int32_t i = 0; ok && i < count; ++i) ok = sized_range(ranges[i]);
            break;
        }
        case Shape::NestedArray: {
            auto *handles = static_cast<const CTkvs *>(node.value());
            for (std::int32_t i = 0; i < count; ++i) {
                if (handles[i] == 0) {
                    if (!variant_.writesEmptyElement) return CT_errorNoResource;
                    if (!put32(4)) return CT_errorNoResource;
                    continue;
                }
                if (!put32(0)) return CT_errorNoResource;
                CTerror verdict = nested(handles[i], depth + 1);
                if (verdict != CT_errorOK) return verdict;
            }
            break;
        }
        case Shape::StringArray: {
            auto *strings = static_cast<wchar_t *const *>(node.value());
            for (std::int32_t i = 0; i < count; ++i) {
                CTerror verdict = string(strings[i]);
                if (verdict != CT_errorOK) return verdict;
            }
            break;
        }
        }
        return ok ? CT_errorOK : CT_errorNoResource;
    }

    // A string record: the unit count, then the units. A string whose
    // characters are each their own unit is written as it is; others go
    // through the transcoder, into sinks other than the memory buffer in
    // chunks of kChunkUnits units.
    CTerror string(const wchar_t *s)
    {
        if constexpr (kClaims) {
            if (s != nullptr && string_in_room(s, nullptr)) return CT_errorOK;
            return claimed_string(s, nullptr);
        } else {
            const StringUnits units = string_units(s);
            if (units.n > INT32_MAX) return CT_errorNoResource;
            const auto n = static_cast<std::size_t>(units.n);
            std::uint8_t length[5] = {4};
            store_le32(length + lengthBytes_ - 4, static_cast<std::uint32_t>(n));
            if (!out_.write(length, lengthBytes_)) return CT_errorNoResource;
            if (s == nullptr) return CT_errorOK;
            if (units.direct && kWideIsWireUnit) return out_.write(s, 4 * n) ? CT_errorOK : CT_errorNoResource;
            std::uint8_t chunk[kChunkUnits * 4];
            std::size_t staged = 0;
            const bool written = write_utf16(s, [&](std::uint32_t u) {
                store_le32(chunk + staged * 4, u);
                if (++staged < kChunkUnits) return true;
                staged = 0;
                return out_.write(chunk, sizeof chunk);
            });
            return written && (staged == 0 || out_.write(chunk, staged * 4)) ? CT_errorOK : CT_errorNoResource;
        }
    }

    // A string record in the memory buffer, claimed whole once its units are
    // counted; with the pair's type, key and count when `head` is given.
    CTerror claimed_string(const wchar_t *s, const KVPairNode *head)
    {
        const StringUnits units = string_units(s);
        if (units.n > INT32_MAX) return CT_errorNoResource;
        const auto n = static_cast<std::size_t>(units.n);
        std::uint8_t *at = out_.claim((head != nullptr ? 12 : 0) + lengthBytes_ + 4 * n);
        if (at == nullptr) return CT_errorNoResource;
        at = string_head(at, head, n);
        if (units.direct) {
            store_direct_units(at, s, n);
        } else {
            write_utf16(s, [&at](std::uint32_t u) {
                store_le32(at, u);
                at += 4;
                return true;
            });
        }
        return CT_errorOK;
    }

    // Most strings are their own units: where the buffer has the room for
    // such a record already, it is stored and checked in one pass. False
    // when the room is short or a character is not its own unit; the write
    // position has not moved then.
    bool string_in_room(const wchar_t *s, const KVPairNode *head)
    {
        const std::size_t n = std::wcslen(s) + 1;
        if ((head != nullptr ? 12 : 0) + lengthBytes_ + 4 * n > out_.room()) return false;
        std::uint8_t *at = string_head(out_.position(), head, n);
        if (!store_direct_units(at, s, n)) return false;
        out_.advance_to(at + 4 * n);
        return true;
    }

    // The pair's type, key and count (when given), the width byte (memory)
    // and the unit count n of a string record; returns where the units go.
    std::uint8_t *string_head(std::uint8_t *at, const KVPairNode *head, std::size_t n)
    {
        if (head != nullptr) at = store_record_head(at, *head);
        if (lengthBytes_ == 5) *at++ = 4;
        store_le32(at, static_cast<std::uint32_t>(n));
        return at + 4;
    }

    Out &out_;
    const Variant &variant_;
    const std::size_t lengthBytes_;  // of a string record's width byte and unit count
};

// ---- Reader -----------------------------------------------------------------

// Storage for the `total` elements that a count announced. When the source
// knows how many bytes remain, the count has been checked against them and
// the storage is taken whole; from a stream that cannot tell, it grows with
// the elements actually read, so an unchecked count never sizes an
// allocation. Zero-filled unless told otherwise; always at least one element.
class Storage {
public:
    Storage(std::size_t elementSize, std::size_t total, bool whole, bool zeroed = true)
        : elementSize_(elementSize), total_(std::max<std::size_t>(total, 1)), whole_(whole), zeroed_(zeroed)
    {
    }
    Storage(const Storage &) = delete;
    Storage &operator=(const Storage &) = delete;
    ~Storage()
    {
        if (data_ != nullptr) mem_free(data_);  // nearly always released: no call then
    }

    // Room for the element at `index` (< total).
    bool reserve(std::size_t index)
    {
        if (index < capacity_) return true;
        const std::size_t want =
            whole_ ? total_ : std::min(total_, std::max({capacity_ * 2, std::size_t{64}, index + 1}));
        void *grown = data_ == nullptr ? mem_malloc(want * elementSize_) : mem_realloc(data_, want * elementSize_);
        if (grown == nullptr) return false;
        if (zeroed_)
            std::memset(static_cast<std::uint8_t *>(grown) + capacity_ * elementSize_, 0,
                        (want - capacity_) * elementSize_);
        data_ = grown;
        capacity_ = want;
        return true;
    }

    template <class T>
    T *as() const
    {
        return static_cast<T *>(data_);
    }
    std::size_t capacity() const { return capacity_; }

    void *release()
    {
        void *d = data_;
        data_ = nullptr;
        capacity_ = 0;
        return d;
    }

private:
    std::size_t elementSize_;
    std::size_t total_;
    bool whole_;
    bool zeroed_;
    std::size_t capacity_ = 0;
    void *data_ = nullptr;
};

template <class Source>
class Reader {
public:
    Reader(Source &source, const Variant &variant, ReadObserver *watch)
        : source_(source), variant_(variant), watch_(watch), start_(watch != nullptr ? source.remaining() : 0)
    {
    }

    CTerror block(KVSetHeader *target, int depth)
    {
        // Input too short for the top marker does not match it; a nested block
        // cut short is a block that ends early.
        const std::uint64_t at = offset();
        char marker[kMarkerBytes];
        if (!source_.read(marker, kMarkerBytes))
            return fail(depth - 1, "block cut short before its marker", depth == 0 ? variant_.badMarker : CT_errorBadFormat);
        if (std::memcmp(marker, kMarker, kMarkerBytes) != 0)
            return fail_at(at, depth - 1, "no block marker \"KVSET HEADER\" here", variant_.badMarker);
        std::int32_t count;
        if (!get32(count)) return fail(depth - 1, "block cut short before its pair count");
        if (watch_ != nullptr && !watch_->block(at, depth, count)) return CT_errorBadFormat;
        reserve_index(target, count);
        for (std::int32_t i = 0; i < count; ++i) {
            CTerror verdict = pair(target, depth);
            if (verdict != CT_errorOK) return verdict;
        }
        return CT_errorOK;
    }

private:
    // Sizes the target's key index once for the pairs the block announces,
    // as many as the bytes left can hold (a pair record takes 12 at least),
    // so it is not rebuilt while the pairs are read; a hostile count sizes
    // nothing larger than the input. A source that cannot tell what remains
    // leaves the index to grow as pairs come.
    void reserve_index(KVSetHeader *target, std::int32_t count)
    {
        constexpr std::uint64_t kSmallestPair = 12;
        const std::uint64_t left = source_.remaining();
        if (count <= 0 || left == ByteSource::kUnknown) return;
        const std::uint64_t pairs = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), left / kSmallestPair);
        index_reserve(target, static_cast<std::uint32_t>(
                                  std::min<std::uint64_t>(pairs + static_cast<std::uint64_t>(target->pairCount), INT32_MAX)));
    }

    // Where the next read starts, counted from the start of the read; only
    // kept up when there is an observer (0 when the source cannot tell).
    std::uint64_t offset() const
    {
        if (watch_ == nullptr) return 0;
        const std::uint64_t left = source_.remaining();
        return start_ == ByteSource::kUnknown || left == ByteSource::kUnknown ? 0 : start_ - left;
    }

    CTerror fail_at(std::uint64_t at, int depth, const char *reason, CTerror verdict = CT_errorBadFormat)
    {
        if (watch_ != nullptr) watch_->failed(at, depth, reason);
        return verdict;
    }

    CTerror fail(int depth, const char *reason, CTerror verdict = CT_errorBadFormat)
    {
        return fail_at(offset(), depth, reason, verdict);
    }

    bool seen(ReadObserver::Field field, std::uint64_t at, std::uint32_t value, int depth)
    {
        return watch_ == nullptr || watch_->field(field, at, value, depth);
    }

    // Reads the element size that precedes a value and shows it to the observer.
    CTerror element_size(int depth, std::uint32_t *size = nullptr)
    {
        const std::uint64_t at = offset();
        std::uint32_t v;
        if (!get32(v)) return fail(depth, "value cut short before its element size");
        if (size != nullptr) *size = v;
        return seen(ReadObserver::Field::ElementSize, at, v, depth) ? CT_errorOK : CT_errorBadFormat;
    }

    CTerror count_refused(int depth, std::int32_t count)
    {
        return fail_at(offset() - 4, depth,
                       count < 0 ? "negative element count" : "element count larger than the bytes that remain");
    }

    template <class T>
    bool get32(T &out)
    {
        std::uint8_t b[4];
        if (!source_.read(b, 4)) return false;
        out = static_cast<T>(load_le32(b));
        return true;
    }

    // A count the rest of the source can hold, at `wire` bytes an element at least.
    bool count_fits(std::int32_t count, std::uint64_t wire) const
    {
        if (count < 0) return false;
        std::uint64_t left = source_.remaining();
        return left == ByteSource::kUnknown || static_cast<std::uint64_t>(count) * wire <= left;
    }

    bool whole() const
    {
        if constexpr (std::is_same<Source, MemorySource>::value) return true;  // a memory block always has an end
        return source_.remaining() != ByteSource::kUnknown;
    }

    // The result of a put or of store_pair: its symbol ends the read on failure.
    // The symbol is taken by reference so it is read after the put wrote it.
    static CTerror stored(CTstatus status, const CTerror &symbol)
    {
        return status == CT_statusOK ? CT_errorOK : symbol;
    }

    CTerror pair(KVSetHeader *target, int depth)
    {
        std::uint32_t type;
        CTsymbol key;
        std::int32_t count;
        const std::uint64_t at = offset();
        if (!get32(type) || !get32(key) || !get32(count))
            return fail_at(at, depth - 1, "pair record cut short before its type, key and count");
        if (watch_ != nullptr && !watch_->record(at, depth, type, key, count)) return CT_errorBadFormat;
        const TypeInfo *info = type_info(type);
        if (info == nullptr) return CT_errorOK;  // consumed, nothing stored
        // Single values go straight into their pair node (store_inline), as a put of them does.
        CTerror symbol = CT_errorOK;
        switch (info->shape) {
        case Shape::Scalar: {
            std::uint32_t v;
            if (CTerror verdict = element_size(depth); verdict != CT_errorOK) return verdict;
            if (!get32(v)) return fail(depth, "value cut short");
            return stored(store_inline(target, key, info->storedCode, 1, &v, sizeof v, &symbol), symbol);
        }
        case Shape::Char: {
            std::uint8_t b[4] = {};
            if (CTerror verdict = element_size(depth); verdict != CT_errorOK) return verdict;
            const std::uint64_t value_at = offset();
            if (!source_.read(b, variant_.charBytes)) return fail(depth, "character cut short");
            if (!seen(ReadObserver::Field::Char, value_at, load_le32(b), depth)) return CT_errorBadFormat;
            auto c = static_cast<std::uint16_t>(b[0] | b[1] << 8);
            return stored(store_inline(target, key, KV_TYPE_CHAR, 1, &c, sizeof c, &symbol), symbol);
        }
        case Shape::Range: {
            struct_Irange r;
            if (CTerror verdict = element_size(depth); verdict != CT_errorOK) return verdict;
            if (!get32(r.lower) || !get32(r.upper)) return fail(depth, "range cut short");
            return stored(store_inline(target, key, KV_TYPE_IRANGE, 2, &r, sizeof r, &symbol), symbol);
        }
        case Shape::Nested: {
            if (CTerror verdict = element_size(depth); verdict != CT_errorOK) return verdict;
            CTkvs nested = 0;
            CTerror verdict = nested_block(*target, &nested, depth + 1);
            if (verdict != CT_errorOK) return verdict;
            auto *block = static_cast<CTkvs *>(mem_malloc(sizeof(CTkvs)));
            if (block == nullptr) {
                destroy_set_quietly(nested);
                return CT_errorNoResource;
            }
            *block = nested;  // the decoded set itself becomes the pair's own copy
            return stored(store_pair(target, key, KV_TYPE_KVS, 1, block, &symbol), symbol);
        }
        case Shape::String:
            return string_pair(target, key, depth);
        case Shape::Array:
        case Shape::Bytes:
        case Shape::RangeArray:
            return fixed_array(target, key, *info, count, depth);
        case Shape::StringArray:
            return string_array(target, key, count, depth);
        case Shape::NestedArray:
            return nested_array(target, key, count, depth);
        }
        return CT_errorOK;
    }

    CTerror fixed_array(KVSetHeader *target, CTsymbol key, const TypeInfo &info, std::int32_t count, int depth)
    {
        if (!count_fits(count, 4 + info.elementSize)) return count_refused(depth, count);
        if (count == 0 && info.emptyRefused)  // as the array put answers
            return fail_at(offset() - 4, depth, "an empty array of a type that holds at least one element",
                           CT_errorBadParameter);
        const std::size_t size = info.elementSize;
        Storage storage(size, static_cast<std::size_t>(count), whole());
        std::uint8_t element[12];
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint64_t element_at = offset();
            if (!source_.read(element, 4 + size)) return fail(depth, "array element cut short");
            if (!seen(ReadObserver::Field::ElementSize, element_at, load_le32(element), depth)) return CT_errorBadFormat;
            if (!storage.reserve(static_cast<std::size_t>(i))) return CT_errorNoResource;
            std::uint8_t *slot = storage.as<std::uint8_t>() + static_cast<std::size_t>(i) * size;
            if (size == 1) {
                slot[0] = element[4];
            } else {
                for (std::size_t w = 0; w < size; w += 4) {
                    std::uint32_t v = load_le32(element + 4 + w);
                    std::memcpy(slot + w, &v, 4);
                }
            }
        }
        if (!storage.reserve(0)) return CT_errorNoResource;  // an empty array still has a block
        CTerror symbol = CT_errorOK;
        return stored(store_pair(target, key, info.storedCode, count, storage.release(), &symbol), symbol);
    }

    // A string pair. A new key's string is read into its pair node's own
    // allocation (one block for both); a key the target holds keeps its node
    // (replace in place) and gets a string block of its own, as does every
    // string from a source that cannot tell what remains (its length could
    // not be checked before the allocation).
    CTerror string_pair(KVSetHeader *target, CTsymbol key, int depth)
    {
        std::int32_t n = 0;
        if (CTerror verdict = string_head(&n, depth); verdict != CT_errorOK) return verdict;
        if (n == 0 || !whole() || find_pair(target, key) != nullptr) {
            wchar_t *s = nullptr;
            if (CTerror verdict = string_body(n, &s, depth); verdict != CT_errorOK) return verdict;
            CTerror symbol = CT_errorOK;
            return stored(store_pair(target, key, KV_TYPE_STRING, 1, s, &symbol), symbol);
        }
        const auto units = static_cast<std::size_t>(n);
        KVPairNode *node = new_node(key, KV_TYPE_STRING, 1, (units + 1) * sizeof(wchar_t));
        if (node == nullptr) return CT_errorNoResource;
        auto *text = static_cast<wchar_t *>(node->value());
        if (CTerror verdict = string_units(units, depth, [text](std::size_t) { return text; }); verdict != CT_errorOK) {
            delete_node(node);  // not linked yet
            return verdict;
        }
        append_node(target, node);
        return CT_errorOK;
    }

    // One string record into a new zero-terminated wchar_t string, or null
    // for n = 0.
    CTerror string(wchar_t **out, int depth)
    {
        std::int32_t n = 0;
        if (CTerror verdict = string_head(&n, depth); verdict != CT_errorOK) return verdict;
        return string_body(n, out, depth);
    }

    // A string record's width byte (memory variant) and length n, checked
    // against the bytes that remain.
    CTerror string_head(std::int32_t *length, int depth)
    {
        if (variant_.stringWidthByte) {
            const std::uint64_t width_at = offset();
            std::uint8_t width;
            if (!source_.read(&width, 1)) return fail(depth, "string record cut short before its width byte");
            if (!seen(ReadObserver::Field::Width, width_at, width, depth)) return CT_errorBadFormat;
        }
        std::int32_t n;
        const std::uint64_t length_at = offset();
        if (!get32(n)) return fail(depth, "string record cut short before its length");
        if (!count_fits(n, 4))
            return fail_at(length_at, depth,
                           n < 0 ? "negative string length" : "string length larger than the bytes that remain");
        if (!seen(ReadObserver::Field::Length, length_at, static_cast<std::uint32_t>(n), depth)) return CT_errorBadFormat;
        *length = n;
        return CT_errorOK;
    }

    // The n units of a string record into a new string block, or null for n = 0.
    CTerror string_body(std::int32_t n, wchar_t **out, int depth)
    {
        *out = nullptr;
        if (n == 0) return CT_errorOK;
        const auto units = static_cast<std::size_t>(n);
        // Each unit read ends at most one character, so room for the units
        // read so far, plus the terminator, is always enough.
        Storage chars(sizeof(wchar_t), units + 1, whole(), false);
        CTerror verdict = string_units(units, depth, [&chars](std::size_t index) {
            return chars.reserve(index) ? chars.as<wchar_t>() : nullptr;
        });
        if (verdict == CT_errorOK) *out = static_cast<wchar_t *>(chars.release());
        return verdict;
    }

    // Reads `units` UTF-16 units into a zero-terminated wchar_t string: a
    // valid surrogate pair becomes one wchar_t, a lone surrogate stays as it
    // is. room(i) gives the string's storage with room for the character at
    // index i, or null when it cannot.
    template <class Room>
    CTerror string_units(std::size_t units, int depth, Room room)
    {
        Utf16Joiner joiner;
        std::size_t length = 0;
        wchar_t *text = nullptr;
        auto emit = [&text, &length](std::uint32_t c) { text[length++] = static_cast<wchar_t>(c); };
        std::uint8_t chunk[kChunkUnits * 4];
        for (std::size_t done = 0; done < units;) {
            const std::size_t batch = std::min(kChunkUnits, units - done);
            const std::uint64_t chunk_at = offset();
            if (!source_.read(chunk, batch * 4)) return fail(depth, "string cut short");
            text = room(done + batch);
            if (text == nullptr) return CT_errorNoResource;
            if (watch_ == nullptr) {  // the observer's check kept out of the common loop
                for (std::size_t k = 0; k < batch; ++k) joiner.push(load_le32(chunk + k * 4) & 0xFFFF, emit);
            } else {
                for (std::size_t k = 0; k < batch; ++k) {
                    const std::uint32_t unit = load_le32(chunk + k * 4);
                    if (!watch_->field(ReadObserver::Field::Unit, chunk_at + k * 4, unit, depth)) return CT_errorBadFormat;
                    joiner.push(unit & 0xFFFF, emit);
                }
            }
            done += batch;
        }
        joiner.finish(emit);
        text[length] = 0;  // terminated whether or not the record's last unit was zero
        return CT_errorOK;
    }

    CTerror string_array(KVSetHeader *target, CTsymbol key, std::int32_t count, int depth)
    {
        if (!count_fits(count, variant_.stringWidthByte ? 5 : 4)) return count_refused(depth, count);
        Storage storage(sizeof(wchar_t *), static_cast<std::size_t>(count), whole());
        if (!storage.reserve(0)) return CT_errorNoResource;
        CTerror verdict = CT_errorOK;
        std::int32_t i = 0;
        for (; i < count; ++i) {
            if (!storage.reserve(static_cast<std::size_t>(i))) {
                verdict = CT_errorNoResource;
                break;
            }
            verdict = string(&storage.as<wchar_t *>()[i], depth);
            if (verdict != CT_errorOK) break;
        }
        if (verdict != CT_errorOK) {
            for (std::int32_t k = 0; k < i; ++k) mem_free(storage.as<wchar_t *>()[k]);
            return verdict;
        }
        CTerror symbol = CT_errorOK;
        return stored(store_pair(target, key, KV_TYPE_STRING_ARRAY, count, storage.release(), &symbol), symbol);
    }

    CTerror nested_array(KVSetHeader *target, CTsymbol key, std::int32_t count, int depth)
    {
        if (!count_fits(count, 4)) return count_refused(depth, count);
        Storage storage(sizeof(CTkvs), static_cast<std::size_t>(count), whole());
        if (!storage.reserve(0)) return CT_errorNoResource;
        CTerror verdict = CT_errorOK;
        for (std::int32_t i = 0; verdict == CT_errorOK && i < count; ++i) {
            std::uint32_t size = 0;
            verdict = element_size(depth, &size);
            if (verdict != CT_errorOK) {
                // reported
            } else if (!storage.reserve(static_cast<std::size_t>(i))) {
                verdict = CT_errorNoResource;
            } else if (size == 0) {
                verdict = nested_block(*target, &storage.as<CTkvs>()[i], depth + 1);
            }  // a non-zero size is an empty element: handle 0
        }
        if (verdict != CT_errorOK) {
            for (std::size_t k = 0; k < storage.capacity(); ++k)
                if (storage.as<CTkvs>()[k] != 0) destroy_set_quietly(storage.as<CTkvs>()[k]);
            return verdict;
        }
        CTerror symbol = CT_errorOK;
        return stored(store_pair(target, key, KV_TYPE_KVS_ARRAY, count, storage.release(), &symbol), symbol);
    }

    // Decodes a nested block into a new registered set one level below its
    // holder. The depth counts from the top of the block; the level from the
    // set the caller created (deeper when reading into a lent nested set).
    CTerror nested_block(const KVSetHeader &holder, CTkvs *handle, int depth)
    {
        if (depth > KVS_MAX_NESTING || !level_allowed(holder.level + 1))
            return fail(depth - 1, "KV-Sets nested deeper than KVS_MAX_NESTING levels");
        CTkvs fresh = 0;
        if (create_set(&fresh, holder.level + 1) != CT_errorOK) return CT_errorNoResource;
        CTerror verdict = block(registry_find(fresh), depth);
        if (verdict != CT_errorOK) {
            destroy_set_quietly(fresh);
            return verdict;
        }
        *handle = fresh;
        return CT_errorOK;
    }

    Source &source_;
    const Variant &variant_;
    ReadObserver *watch_;
    std::uint64_t start_;  // bytes the source held when the read began (with an observer)
};

}  // namespace

CTerror write_block(ByteSink &sink, const Variant &variant, KVSetHeader *set)
{
    return Writer<ByteSink>(sink, variant).block(set, 0);
}

CTerror write_block(OutputBuffer &sink, const Variant &variant, KVSetHeader *set)
{
    BufferCursor cursor(sink);
    return Writer<BufferCursor>(cursor, variant).block(set, 0);
}

CTerror read_block(ByteSource &source, const Variant &variant, KVSetHeader *target, ReadObserver *observer)
{
    return Reader<ByteSource>(source, variant, observer).block(target, 0);
}

CTerror read_block(MemorySource &source, const Variant &variant, KVSetHeader *target, ReadObserver *observer)
{
    return Reader<MemorySource>(source, variant, observer).block(target, 0);
}

}  // namespace serial
}  // namespace kvs
