// The KV-Set block codec: one writer and one reader for both variants of the
// block (memory and file), over any byte sink or source. The exported memory
// and file functions are thin shims over write_block and read_block.
// Nothing here takes the registry mutex except to resolve a nested handle or
// to create a temporary set.
#ifndef KVSET_SRC_SERIAL_CODEC_H
#define KVSET_SRC_SERIAL_CODEC_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kvset/ctkvs.h"
#include "serial/wire.h"
#include "store/model.h"

namespace kvs {
namespace serial {

// What tells the memory block from the file block.
struct Variant {
    std::uint32_t charBytes;    // bytes of a type 26 value: 2 in memory, 4 in files
    bool stringWidthByte;       // a string record starts with a width byte (memory)
    bool writesEmptyElement;    // an empty KV-Set array element is written (file) or refused (memory)
    CTerror badMarker;          // reader: a marker that does not match
    CTerror invalidNested;      // writer: a nested handle that is no longer valid
};

extern const Variant kMemoryVariant;
extern const Variant kFileVariant;

class ByteSink {
public:
    // Appends n bytes; false when they could not all be written.
    virtual bool write(const void *bytes, std::size_t n) = 0;

protected:
    ~ByteSink() = default;
};

class ByteSource {
public:
    static constexpr std::uint64_t kUnknown = UINT64_MAX;
    // Copies the next n bytes out, or fails when fewer remain; what a failed
    // read leaves in `bytes` is never used.
    virtual bool read(void *bytes, std::size_t n) = 0;
    // Bytes left to read, or kUnknown for a stream that cannot tell (a pipe).
    virtual std::uint64_t remaining() const = 0;

protected:
    ~ByteSource() = default;
};

// The memory encoder's buffer: one heap allocation of KVS_BUFFER_STEP bytes,
// grown by what an append needs plus KVS_BUFFER_STEP. The bytes past the
// content are never handed out (callers get the start and the used length),
// so they are not zero-filled: that fill used to cost more than encoding a
// small set. Frees the allocation unless
// it was released.
class OutputBuffer final : public ByteSink {
public:
    OutputBuffer() = default;
    OutputBuffer(const OutputBuffer &) = delete;
    OutputBuffer &operator=(const OutputBuffer &) = delete;
    ~OutputBuffer();

    bool open();
    // Inline fast path: the codec writes small fields, nearly always in room.
    bool write(const void *bytes, std::size_t n) override
    {
        if (n <= capacity_ - used_) {
            std::memcpy(start_ + used_, bytes, n);
            used_ += static_cast<std::uint32_t>(n);
            return true;
        }
        return grow_and_write(bytes, n);
    }
    // Room for n more bytes past the used ones, growing by the rule above;
    // false when the buffer cannot grow (it keeps its allocation).
    bool make_room(std::size_t n) { return n <= capacity_ - used_ || grow(n); }
    // For a writer that filled the buffer through its own write position.
    void set_used(std::uint32_t used) { used_ = used; }
    void patch32(std::uint32_t offset, std::uint32_t value);
    std::uint8_t *release();

    std::uint8_t *start() const { return start_; }
    std::uint32_t used() const { return used_; }
    std::uint32_t capacity() const { return capacity_; }

private:
    bool grow_and_write(const void *bytes, std::size_t n);
    bool grow(std::size_t n);  // makes room for n more bytes

    std::uint8_t *start_ = nullptr;  // the write position is start_ + used_
    std::uint32_t used_ = 0;
    std::uint32_t capacity_ = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const std::uint8_t *bytes, std::uint32_t length)
        : cursor_(bytes), end_(bytes == nullptr ? bytes : bytes + length)
    {
    }
    bool read(void *bytes, std::size_t n) override
    {
        if (n > static_cast<std::size_t>(end_ - cursor_)) return false;
        std::memcpy(bytes, cursor_, n);
        cursor_ += n;
        return true;
    }
    std::uint64_t remaining() const override { return static_cast<std::uint64_t>(end_ - cursor_); }
    const std::uint8_t *cursor() const { return cursor_; }

private:
    const std::uint8_t *cursor_;
    const std::uint8_t *end_;
};

class FileSink final : public ByteSink {
public:
    explicit FileSink(std::FILE *file) : file_(file) {}
    bool write(const void *bytes, std::size_t n) override;

private:
    std::FILE *file_;
};

// Learns once how many bytes the stream holds past its position (file size,
// or a seek to the end and back); a stream that can do neither is kUnknown.
class FileSource final : public ByteSource {
public:
    explicit FileSource(std::FILE *file);
    bool read(void *bytes, std::size_t n) override;
    std::uint64_t remaining() const override { return left_; }

private:
    std::FILE *file_;
    std::uint64_t left_;
};

// Appends the block of `set`: marker, pair count, pair records and nested
// blocks, walking each set's list once. Afterwards the iteration position of
// `set` and of every nested set lies past the last pair. Returns CT_errorOK,
// or the cause of the failure: CT_errorNoResource (the sink failed, nesting
// deeper than KVS_MAX_NESTING, an empty KV-Set array element in the memory
// variant) or the variant's invalidNested symbol.
CTerror write_block(ByteSink &sink, const Variant &variant, KVSetHeader *set);
// The same for the memory encoder's buffer, with its appends inlined: the
// common records (single 32-bit values, strings, 32-bit arrays) are claimed
// whole, one capacity check each. Whatever the outcome, the buffer's used
// length ends at the last byte written.
CTerror write_block(OutputBuffer &sink, const Variant &variant, KVSetHeader *set);

// Follows a read field by field, for callers that need more than the
// decoder's verdict: where each pair record lies, the fields the decoder
// reads and then passes over, and why a read failed. The inspection API's
// strict validator is one. Offsets count bytes from where the read started;
// `depth` is 0 for the pairs of the top block. Every callback but failed()
// may end the read by returning false: read_block then answers
// CT_errorBadFormat.
class ReadObserver {
public:
    enum class Field : std::uint8_t {
        ElementSize,  // the size before a value, an array element or a KV-Set array element
        Width,        // the width byte of a memory string record
        Length,       // the unit count n of a string record
        Unit,         // one 32-bit unit of a string record, as read
        Char,         // a character value as read (2 or 4 bytes)
    };
    // A block's marker matched and its pair count was read; the marker is at `offset`.
    virtual bool block(std::uint64_t offset, int depth, std::int32_t count) = 0;
    // A pair record's type, key and count were read; the type is at `offset`.
    virtual bool record(std::uint64_t offset, int depth, std::uint32_t type, CTsymbol key, std::int32_t count) = 0;
    // A field of the current record at `depth`.
    virtual bool field(Field field, std::uint64_t offset, std::uint32_t value, int depth) = 0;
    // The read fails at `offset`, inside the record at `depth` (-1: the top
    // block's marker or count).
    virtual void failed(std::uint64_t offset, int depth, const char *reason) = 0;

protected:
    ~ReadObserver() = default;
};

// Reads one block into `target` through the internal puts (replace in place,
// or append). Returns CT_errorOK, or the symbol that ends the read: the
// variant's badMarker, CT_errorBadFormat (cut short, negative or oversized
// count, nesting deeper than KVS_MAX_NESTING), CT_errorNoResource, or the
// symbol of a put that refused a value. Pairs stored before a failure stay.
CTerror read_block(ByteSource &source, const Variant &variant, KVSetHeader *target,
                   ReadObserver *observer = nullptr);
// The same for a memory block, with its reads inlined.
CTerror read_block(MemorySource &source, const Variant &variant, KVSetHeader *target,
                   ReadObserver *observer = nullptr);

}  // namespace serial
}  // namespace kvs

#endif
