// Strict validation, decoding and encoding of blocks for the inspection API.
// The block is read by the codec's one reader; a ReadObserver follows it
// field by field to learn where each record lies and to refuse what the
// lenient reader passes over. There is no second decoder here.
#include <cstdio>
#include <new>
#include <set>

#include "inspect/inspect_internal.h"
#include "inspect/text.h"
#include "serial/codec.h"
#include "serial/wire.h"
#include "store/registry.h"
#include "store/store.h"

namespace kvs {
namespace inspect {
namespace {

using kvset::BlockFault;
using kvset::BlockFormat;
using kvset::BlockInfo;
using serial::ReadObserver;

using serial::kFrameHeadBytes;
using serial::kFrameMagic;
using serial::kFrameTrailer;
using serial::kFrameTrailerBytes;
using serial::load_le32;

std::string hex32(std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

// The element size a writer puts before each value of the type, or -1 for a
// type whose values carry none (strings, string arrays).
long expected_element_size(const TypeInfo &info, const serial::Variant &variant)
{
    switch (info.shape) {
    case Shape::Scalar:
    case Shape::Array: return 4;
    case Shape::Char: return variant.charBytes;
    case Shape::Range:
    case Shape::RangeArray: return 8;
    case Shape::Bytes: return 1;
    case Shape::Nested: return 0;
    default: return -1;
    }
}

// Follows one read. Strict, it holds the first fault it saw or was told of
// and ends the read there. Lenient, it lets the read go on as the decoder
// would, keeps what strict validation refuses as warnings, and holds as the
// fault only what ended the decoder's read.
class Strict final : public ReadObserver {
public:
    Strict(const serial::Variant &variant, std::size_t base, bool lenient = false)
        : variant_(variant), base_(base), lenient_(lenient)
    {
    }

    bool block(std::uint64_t offset, int depth, std::int32_t count) override
    {
        keys_.resize(static_cast<std::size_t>(depth) + 1);
        keys_[static_cast<std::size_t>(depth)].clear();
        if (count < 0) return refuse(offset + serial::kMarkerBytes, depth - 1, "negative pair count " + std::to_string(count));
        return true;
    }

    bool record(std::uint64_t offset, int depth, std::uint32_t type, CTsymbol key, std::int32_t count) override
    {
        stack_.resize(static_cast<std::size_t>(depth));
        stack_.push_back(Entry{key, type, records_++, -1, 0, 0});
        offsets_.push_back(base_ + offset);
        const TypeInfo *info = type_info(type);
        if (info == nullptr) return refuse(offset, depth, "unknown type code " + std::to_string(type));
        if (!keys_[static_cast<std::size_t>(depth)].insert(key).second)
            return refuse(offset + 4, depth, "the key " + symbol_text(key) + " appears twice in one block");
        const long single = info->shape == Shape::Range ? 2 : 1;
        if (!is_array_shape(info->shape) && count != single)
            return refuse(offset + 8, depth,
                          "value count " + std::to_string(count) + " for a " + type_name(type) + " (" +
                              std::to_string(single) + " expected)");
        return true;
    }

    bool field(Field f, std::uint64_t offset, std::uint32_t value, int depth) override
    {
        if (depth < 0 || static_cast<std::size_t>(depth) >= stack_.size()) return true;  // no record to check against
        stack_.resize(static_cast<std::size_t>(depth) + 1);
        Entry &e = stack_.back();
        const TypeInfo *known = type_info(e.type);
        if (known == nullptr) return true;
        const TypeInfo &info = *known;
        switch (f) {
        case Field::ElementSize: {
            if (info.shape == Shape::NestedArray) {
                e.element = e.elements++;
                if (value != 0 && value != 4)
                    return refuse(offset, depth, "element size " + std::to_string(value) +
                                                     " in a KV-Set array (0 for a set, 4 for an empty element)");
                return true;
            }
            if (is_array_shape(info.shape)) e.element = e.elements++;
            const long want = expected_element_size(info, variant_);
            if (static_cast<long>(value) != want)
                return refuse(offset, depth,
                              "element size " + std::to_string(value) + " for a " + type_name(e.type) + " (" +
                                  std::to_string(want) + " expected)");
            return true;
        }
        case Field::Width:
            if (info.shape == Shape::StringArray) e.element = e.elements++;
            if (value != 4) return refuse(offset, depth, "string width byte " + std::to_string(value) + " (4 expected)");
            return true;
        case Field::Length:
            if (info.shape == Shape::StringArray && !variant_.stringWidthByte) e.element = e.elements++;
            e.unitsLeft = value;
            return true;
        case Field::Unit: {
            const bool last = --e.unitsLeft == 0;
            if (value > 0xFFFF) return refuse(offset, depth, "string unit " + hex32(value) + " is not a UTF-16 code unit");
            if (last && value != 0) return refuse(offset, depth, "string without its terminating zero");
            if (!last && value == 0) return refuse(offset, depth, "string with a zero unit before its end");
            return true;
        }
        case Field::Char:
            if (value > 0xFFFF) return refuse(offset, depth, "character " + hex32(value) + " is not a UTF-16 code unit");
            return true;
        }
        return true;
    }

    void failed(std::uint64_t offset, int depth, const char *reason) override
    {
        if (faulty_) return;
        faulty_ = true;
        fault_ = located(offset, depth, reason);
    }

    bool faulty() const { return faulty_; }
    const BlockFault &fault() const { return fault_; }
    std::vector<std::size_t> &offsets() { return offsets_; }
    std::vector<BlockFault> &warnings() { return warnings_; }

    // A fault the caller finds outside the reader (frame, trailing bytes),
    // at an offset into the whole input.
    void outside(std::size_t offset, const std::string &reason)
    {
        stack_.clear();
        if (faulty_) return;
        faulty_ = true;
        fault_ = BlockFault{BlockFormat::Memory, false, offset, -1, "", reason};
    }

    // What strict validation refuses outside the reader; lenient reading
    // goes on past it.
    void refuse_outside(std::size_t offset, const std::string &reason)
    {
        if (lenient_)
            warnings_.push_back(BlockFault{BlockFormat::Memory, false, offset, -1, "", reason});
        else
            outside(offset, reason);
    }

private:
    struct Entry {
        CTsymbol key;
        std::uint32_t type;
        long index;     // record index in stream order
        long element;   // element being read, -1 before the first
        long elements;  // elements begun
        std::uint32_t unitsLeft;
    };

    bool refuse(std::uint64_t offset, int depth, const std::string &reason)
    {
        if (lenient_) {
            warnings_.push_back(located(offset, depth, reason));
            return true;
        }
        if (faulty_) return false;  // the first fault stands
        faulty_ = true;
        fault_ = located(offset, depth, reason);
        return false;
    }

    // The fault at `offset` in the record at `depth`, with its key path.
    BlockFault located(std::uint64_t offset, int depth, const std::string &reason)
    {
        BlockFault f{BlockFormat::Memory, false, base_ + static_cast<std::size_t>(offset), -1, "", reason};
        if (depth + 1 < static_cast<int>(stack_.size())) stack_.resize(static_cast<std::size_t>(depth + 1));
        f.record = stack_.empty() || depth < 0 ? -1 : stack_.back().index;
        if (depth >= 0) {
            for (const Entry &e : stack_) {
                if (!f.path.empty()) f.path += "/";
                f.path += symbol_text(e.key);
                if (e.element >= 0) f.path += "[" + std::to_string(e.element) + "]";
            }
        }
        return f;
    }

    const serial::Variant &variant_;
    std::size_t base_;
    bool lenient_;
    std::vector<BlockFault> warnings_;
    std::vector<Entry> stack_;
    std::vector<std::set<CTsymbol>> keys_;
    std::vector<std::size_t> offsets_;
    long records_ = 0;
    bool faulty_ = false;
    BlockFault fault_{BlockFormat::Memory, false, 0, -1, "", ""};
};

// One attempt to read the input as one variant. On success *kvs holds the
// decoded set (registered) when kept, else it is destroyed.
bool attempt(const unsigned char *bytes, std::size_t size, BlockFormat format, bool keep, CTkvs *kvs,
             BlockInfo *info, BlockFault *fault)
{
    const serial::Variant &variant = format == BlockFormat::File ? serial::kFileVariant : serial::kMemoryVariant;
    const bool framed =
        format == BlockFormat::Memory && size >= 4 && load_le32(bytes) == kFrameMagic;
    const std::size_t base = framed ? kFrameHeadBytes : 0;
    Strict strict(variant, base);
    auto finish_fault = [&]() {
        *fault = strict.fault();
        fault->format = format;
        fault->framed = framed;
        return false;
    };

    std::size_t end = size;  // where the block must end
    if (framed) {
        if (size < kFrameHeadBytes + kFrameTrailerBytes) {
            strict.outside(size, "memory buffer of " + std::to_string(size) + " bytes is shorter than its frame");
            return finish_fault();
        }
        const std::uint32_t length = load_le32(bytes + 4);
        if (length != size) {
            strict.outside(4, "frame length " + std::to_string(length) + " but the buffer holds " +
                                  std::to_string(size) + " bytes");
            return finish_fault();
        }
        end = size - kFrameTrailerBytes;
        if (load_le32(bytes + end) != kFrameTrailer) {
            strict.outside(end, "frame trailer " + hex32(load_le32(bytes + end)) + " (" + hex32(kFrameTrailer) +
                                    " expected)");
            return finish_fault();
        }
    }
    if (size > UINT32_MAX) {
        strict.outside(base, "input larger than 4 GiB");
        return finish_fault();
    }

    // An exhausted heap is no fault of the block: it leaves as bad_alloc,
    // which the exported wrappers report as "out of memory".
    CTkvs target = 0;
    if (create_set(&target) != CT_errorOK) throw std::bad_alloc();
    serial::MemorySource source(bytes + base, static_cast<std::uint32_t>(end - base));
    const CTerror verdict = serial::read_block(source, variant, registry_find(target), &strict);
    if (verdict == CT_errorNoResource && !strict.faulty()) {
        destroy_set_quietly(target);
        throw std::bad_alloc();
    }
    if (verdict != CT_errorOK && !strict.faulty())
        strict.outside(base + static_cast<std::size_t>(source.cursor() - (bytes + base)),
                       "the decoder refused the block: " + error_text(verdict));
    if (verdict == CT_errorOK && source.remaining() != 0)
        strict.outside(static_cast<std::size_t>(source.cursor() - bytes),
                       std::to_string(source.remaining()) + (source.remaining() == 1 ? " byte" : " bytes") +
                           " after the end of the block");
    if (strict.faulty()) {
        destroy_set_quietly(target);
        return finish_fault();
    }
    info->format = format;
    info->framed = framed;
    info->size = size;
    info->recordOffsets = std::move(strict.offsets());
    if (keep)
        *kvs = target;
    else
        destroy_set_quietly(target);
    return true;
}

// One lenient read as one variant, the way MRQkvs_ReadFromMemory and
// CTkvs_ReadFile read: a frame's magic is passed over, its length and
// trailer only checked; the block is read to its end or to the fault that
// ends the decoder. Returns how far the read got.
std::size_t attempt_lenient(const unsigned char *bytes, std::size_t size, BlockFormat format,
                            kvset::DecodeResult *result)
{
    const serial::Variant &variant = format == BlockFormat::File ? serial::kFileVariant : serial::kMemoryVariant;
    const bool framed = format == BlockFormat::Memory && size >= kFrameHeadBytes && load_le32(bytes) == kFrameMagic;
    const std::size_t base = framed ? kFrameHeadBytes : 0;
    Strict lenient(variant, base, true);
    if (framed && load_le32(bytes + 4) != size)
        lenient.refuse_outside(4, "frame length " + std::to_string(load_le32(bytes + 4)) + " but the buffer holds " +
                                      std::to_string(size) + " bytes");
    std::size_t reached = base;
    if (size > UINT32_MAX) {
        lenient.outside(base, "input larger than 4 GiB");
    } else {
        CTkvs target = 0;
        if (create_set(&target) != CT_errorOK) throw std::bad_alloc();
        result->kvs = target;  // the caller's from here on, whatever follows
        serial::MemorySource source(bytes + base, static_cast<std::uint32_t>(size - base));
        const CTerror verdict = serial::read_block(source, variant, registry_find(target), &lenient);
        if (verdict == CT_errorNoResource && !lenient.faulty()) throw std::bad_alloc();
        reached = static_cast<std::size_t>(source.cursor() - bytes);
        result->end = reached;
        if (verdict != CT_errorOK && !lenient.faulty())
            lenient.outside(reached, "the decoder refused the block: " + error_text(verdict));
        if (verdict == CT_errorOK) {
            std::size_t after = size - reached;
            if (framed && after >= kFrameTrailerBytes) {
                if (load_le32(bytes + reached) != kFrameTrailer)
                    lenient.refuse_outside(reached, "frame trailer " + hex32(load_le32(bytes + reached)) + " (" +
                                                        hex32(kFrameTrailer) + " expected)");
                after -= kFrameTrailerBytes;
                reached += kFrameTrailerBytes;
                result->end = reached;
            } else if (framed) {
                lenient.refuse_outside(reached, "memory buffer without its frame trailer");
            }
            if (after != 0)
                lenient.refuse_outside(reached, std::to_string(after) + (after == 1 ? " byte" : " bytes") +
                                                    " after the end of the block");
        }
    }
    result->info.format = format;
    result->info.framed = framed;
    result->info.size = size;
    result->info.recordOffsets = std::move(lenient.offsets());
    result->warnings = std::move(lenient.warnings());
    for (BlockFault &w : result->warnings) {
        w.format = format;
        w.framed = framed;
    }
    result->faulted = lenient.faulty();
    result->fault = lenient.fault();
    result->fault.format = format;
    result->fault.framed = framed;
    return result->faulted ? result->fault.offset : size;
}

// Collects a file block in memory.
class VectorSink final : public serial::ByteSink {
public:
    explicit VectorSink(std::vector<unsigned char> *out) : out_(out) {}
    bool write(const void *bytes, std::size_t n) override
    {
        const auto *b = static_cast<const unsigned char *>(bytes);
        out_->insert(out_->end(), b, b + n);
        return true;
    }

private:
    std::vector<unsigned char> *out_;
};

}  // namespace

bool read_block_strict(const unsigned char *bytes, std::size_t size, BlockFormat format, bool keep, CTkvs *kvs,
                       BlockInfo *info, BlockFault *fault)
{
    if (kvs != nullptr) *kvs = 0;
    if (bytes == nullptr && size != 0) {
        *fault = BlockFault{format, false, 0, -1, "", "no input"};
        return false;
    }
    static const unsigned char kNothing[1] = {0};
    if (bytes == nullptr) bytes = kNothing;
    if (format != BlockFormat::Auto) return attempt(bytes, size, format, keep, kvs, info, fault);
    if (size >= 4 && load_le32(bytes) == kFrameMagic)
        return attempt(bytes, size, BlockFormat::Memory, keep, kvs, info, fault);
    BlockFault asFile;
    if (attempt(bytes, size, BlockFormat::File, keep, kvs, info, &asFile)) return true;
    BlockFault asMemory;
    if (attempt(bytes, size, BlockFormat::Memory, keep, kvs, info, &asMemory)) return true;
    *fault = asMemory.offset > asFile.offset ? asMemory : asFile;
    return false;
}

bool read_block_lenient(const unsigned char *bytes, std::size_t size, BlockFormat format, kvset::DecodeResult *result)
{
    static const unsigned char kNothing[1] = {0};
    if (bytes == nullptr) bytes = kNothing;
    if (format == BlockFormat::Auto && size >= 4 && load_le32(bytes) == kFrameMagic) format = BlockFormat::Memory;
    if (format != BlockFormat::Auto) {
        attempt_lenient(bytes, size, format, result);
        return !result->faulted;
    }
    // A bare block: the file variant, then the memory variant; a clean read
    // wins, else the one that read further.
    kvset::DecodeResult asFile;
    const std::size_t fileReach = attempt_lenient(bytes, size, BlockFormat::File, &asFile);
    if (!asFile.faulted) {
        *result = std::move(asFile);
        return true;
    }
    kvset::DecodeResult asMemory;
    std::size_t memoryReach = 0;
    try {
        memoryReach = attempt_lenient(bytes, size, BlockFormat::Memory, &asMemory);
    } catch (...) {
        destroy_set_quietly(asFile.kvs);
        if (asMemory.kvs != 0) destroy_set_quietly(asMemory.kvs);
        throw;
    }
    const bool memoryWins = !asMemory.faulted || memoryReach > fileReach;
    destroy_set_quietly(memoryWins ? asFile.kvs : asMemory.kvs);
    *result = std::move(memoryWins ? asMemory : asFile);
    return !result->faulted;
}

bool write_block(CTkvs kvs, BlockFormat format, std::vector<unsigned char> *bytes, std::string *error)
{
    CTerror e = CT_errorOK;
    if (format == BlockFormat::Memory) {
        std::uint8_t *buffer = nullptr;
        std::uint32_t length = 0;
        if (MRQkvs_WriteToMemory(&buffer, kvs, &length, &e) != CT_statusOK) {
            *error = "cannot encode the KV-Set as a memory buffer: " + error_text(e);
            if (e == CT_errorNoResource) *error += " (a KV-Set array with an empty element has no memory form)";
            return false;
        }
        bytes->assign(buffer, buffer + length);
        MRQkvs_FreeBuffer(buffer);
        return true;
    }
    if (format != BlockFormat::File) {
        *error = "choose memory or file to write a block";
        return false;
    }
    KVSetHeader *set = nullptr;
    if (registry_resolve(kvs, &set) != CT_errorOK) {
        *error = "handle " + std::to_string(kvs) + " is not a valid KV-Set";
        return false;
    }
    VectorSink sink(bytes);
    bytes->clear();
    const CTerror verdict = serial::write_block(sink, serial::kFileVariant, set);
    if (verdict != CT_errorOK) {
        *error = "cannot encode the KV-Set as a file block: " + error_text(verdict);
        return false;
    }
    return true;
}

}  // namespace inspect
}  // namespace kvs
