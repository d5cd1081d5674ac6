// The exported inspection functions: thin wrappers that turn every failure,
// an exhausted heap included, into false and one line of text.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "inspect/inspect_internal.h"
#include "inspect/json.h"
#include "inspect/render.h"
#include "inspect/text.h"
#include "serial/replace_file.h"

namespace kvset {
namespace {

using kvs::inspect::guarded;
using kvs::inspect::Set;

struct ByteSpan {
    const unsigned char *bytes;
    std::size_t size;
};

CTerror write_bytes(std::FILE *stream, const void *content)
{
    const auto *span = static_cast<const ByteSpan *>(content);
    const bool written = span->size == 0 || std::fwrite(span->bytes, 1, span->size, stream) == span->size;
    // An unbuffered stream can take a failed write for a whole one: its error
    // indicator tells.
    return written && std::fflush(stream) == 0 && std::ferror(stream) == 0 ? CT_errorOK : CT_errorNoResource;
}

}  // namespace

bool toJson(CTkvs kvs, std::string *json, std::string *error)
{
    return guarded(error, [&](std::string *why) {
        if (json == nullptr) {
            *why = "no output string";
            return false;
        }
        Set set;
        if (!kvs::inspect::read_set(kvs, &set, why)) return false;
        *json = kvs::inspect::write_json(set);
        return true;
    });
}

bool fromJson(const std::string &json, CTkvs *kvs, std::string *error)
{
    if (kvs != nullptr) *kvs = 0;
    return guarded(error, [&](std::string *why) {
        if (kvs == nullptr) {
            *why = "no output handle";
            return false;
        }
        Set set;
        return kvs::inspect::read_json(json, &set, why) && kvs::inspect::make_set(set, kvs, why);
    });
}

bool renderTree(CTkvs kvs, std::string *text, std::string *error)
{
    return guarded(error, [&](std::string *why) {
        if (text == nullptr) {
            *why = "no output string";
            return false;
        }
        Set set;
        if (!kvs::inspect::read_set(kvs, &set, why)) return false;
        *text = kvs::inspect::tree(set, nullptr);
        return true;
    });
}

bool renderTree(CTkvs kvs, const BlockInfo &block, std::string *text, std::string *error)
{
    return guarded(error, [&](std::string *why) {
        if (text == nullptr) {
            *why = "no output string";
            return false;
        }
        Set set;
        if (!kvs::inspect::read_set(kvs, &set, why)) return false;
        *text = kvs::inspect::tree(set, &block.recordOffsets);
        return true;
    });
}

bool renderTree(CTkvs kvs, const BlockInfo *block, const TreeOptions &options, std::string *text, std::string *error)
{
    return guarded(error, [&](std::string *why) {
        if (text == nullptr) {
            *why = "no output string";
            return false;
        }
        Set set;
        if (!kvs::inspect::read_set(kvs, &set, why)) return false;
        kvs::inspect::TreeStyle style;
        style.maxElements = options.maxElements;
        style.utcTimes = options.utcTimes;
        *text = kvs::inspect::tree(set, block == nullptr ? nullptr : &block->recordOffsets, style);
        return true;
    });
}

bool validateBlock(const unsigned char *bytes, std::size_t size, BlockFormat format, BlockInfo *info,
                   BlockFault *fault)
{
    BlockInfo ignoredInfo;
    BlockFault ignoredFault;
    if (info == nullptr) info = &ignoredInfo;
    if (fault == nullptr) fault = &ignoredFault;
    std::string error;
    if (guarded(&error, [&](std::string *) {
            return kvs::inspect::read_block_strict(bytes, size, format, false, nullptr, info, fault);
        }))
        return true;
    if (!error.empty()) *fault = BlockFault{format, false, 0, -1, "", error};
    return false;
}

bool readBlock(const unsigned char *bytes, std::size_t size, BlockFormat format, CTkvs *kvs, BlockInfo *info,
               BlockFault *fault)
{
    BlockInfo ignoredInfo;
    BlockFault ignoredFault;
    if (info == nullptr) info = &ignoredInfo;
    if (fault == nullptr) fault = &ignoredFault;
    if (kvs == nullptr) {
        *fault = BlockFault{format, false, 0, -1, "", "no output handle"};
        return false;
    }
    *kvs = 0;
    std::string error;
    if (guarded(&error, [&](std::string *) {
            return kvs::inspect::read_block_strict(bytes, size, format, true, kvs, info, fault);
        }))
        return true;
    if (!error.empty()) *fault = BlockFault{format, false, 0, -1, "", error};
    return false;
}

bool decodeBlock(const unsigned char *bytes, std::size_t size, BlockFormat format, DecodeResult *result)
{
    if (result == nullptr) return false;
    *result = DecodeResult();
    if (bytes == nullptr && size != 0) {
        result->faulted = true;
        result->fault = BlockFault{format, false, 0, -1, "", "no input"};
        return false;
    }
    std::string error;
    if (guarded(&error, [&](std::string *) { return kvs::inspect::read_block_lenient(bytes, size, format, result); }))
        return true;
    if (!error.empty()) {
        CTerror ignored = 0;
        if (result->kvs != 0) CTkvs_Destroy(result->kvs, &ignored);
        result->kvs = 0;
        result->faulted = true;
        result->fault = BlockFault{format, false, 0, -1, "", error};
    }
    return false;
}

bool writeBlock(CTkvs kvs, BlockFormat format, std::vector<unsigned char> *bytes, std::string *error)
{
    return guarded(error, [&](std::string *why) {
        if (bytes == nullptr) {
            *why = "no output buffer";
            return false;
        }
        return kvs::inspect::write_block(kvs, format, bytes, why);
    });
}

bool writeFile(const std::string &path, const unsigned char *bytes, std::size_t size, std::string *error)
{
    return guarded(error, [&](std::string *why) {
        if (bytes == nullptr && size != 0) {
            *why = "no input bytes";
            return false;
        }
        const ByteSpan span{bytes, size};
        const kvs::serial::FileWrite written = kvs::serial::replace_file(path.c_str(), &write_bytes, &span);
        if (written.verdict == CT_errorOK) return true;
        *why = "cannot write '" + path + "': " + std::strerror(written.osError);
        return false;
    });
}

const char *blockFormatName(BlockFormat format, bool framed)
{
    switch (format) {
    case BlockFormat::Memory: return framed ? "memory buffer" : "memory block";
    case BlockFormat::File: return "file block";
    case BlockFormat::Auto: break;
    }
    return "block";
}

std::string formatFault(const BlockFault &fault)
{
    char offset[64];
    std::snprintf(offset, sizeof offset, "offset %zu (0x%zX)", fault.offset, fault.offset);
    std::string line = std::string(blockFormatName(fault.format, fault.framed)) + ": " + offset;
    if (fault.record >= 0) {
        line += ", record " + std::to_string(fault.record);
        if (!fault.path.empty()) line += " (" + fault.path + ")";
    }
    return line + ": " + fault.reason;
}

bool diff(CTkvs first, CTkvs second, std::vector<Difference> *differences, std::string *error)
{
    return guarded(error, [&](std::string *why) {
        if (differences == nullptr) {
            *why = "no output list";
            return false;
        }
        Set a;
        Set b;
        if (!kvs::inspect::read_set(first, &a, why) || !kvs::inspect::read_set(second, &b, why)) return false;
        differences->clear();
        kvs::inspect::diff_sets(a, b, differences);
        return true;
    });
}

const char *diffKindName(DiffKind kind)
{
    switch (kind) {
    case DiffKind::OnlyInFirst: return "only in first";
    case DiffKind::OnlyInSecond: return "only in second";
    case DiffKind::TypeDiffers: return "type differs";
    case DiffKind::ValueDiffers: return "value differs";
    case DiffKind::PositionDiffers: return "position differs";
    }
    return "differs";
}

std::string formatDifference(const Difference &d)
{
    std::string line = d.path + ": " + diffKindName(d.kind);
    switch (d.kind) {
    case DiffKind::OnlyInFirst: return line + ": " + d.first;
    case DiffKind::OnlyInSecond: return line + ": " + d.second;
    default: return line + ": " + d.first + " vs " + d.second;
    }
}

}  // namespace kvset
