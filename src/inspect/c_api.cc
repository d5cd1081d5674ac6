// The inspection API for C callers: thin wrappers over the C++ functions of
// inspect.h (and its internal block reader) that hand text out in blocks from the allocation seam and turn
// every failure, an exhausted heap included, into a status and one line.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "inspect/inspect_internal.h"
#include "inspect/text.h"
#include "kvset/inspect.h"
#include "kvset/inspect_c.h"
#include "serial/wire.h"
#include "store/alloc.h"
#include "store/call.h"

namespace kvs {
namespace {

// A copy of text that MRQkvs_FreeText releases; null when out of memory.
char *copy_text(const char *text, std::size_t size) noexcept
{
    auto *copy = static_cast<char *>(kvs::mem_malloc(size + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, size);
    copy[size] = '\0';
    return copy;
}

char *copy_text(const std::string &text) noexcept { return copy_text(text.data(), text.size()); }

// Hands text to the caller through *out.
bool hand_out(const std::string &text, char **out, std::string *why)
{
    *out = copy_text(text);
    if (*out != nullptr) return true;
    *why = kvs::inspect::kOutOfMemory;
    return false;
}

// Runs body(&why); on false or an exception gives CT_statusFail and the line.
template <class Body>
CTstatus answer_with_text(char **errorText, Body body) noexcept
{
    if (errorText != nullptr) *errorText = nullptr;
    std::string why;
    const char *fixed = nullptr;  // a line that needs no string of its own
    try {
        if (body(&why)) return CT_statusOK;
    } catch (const std::bad_alloc &) {
        fixed = kvs::inspect::kOutOfMemory;
    } catch (...) {
        fixed = "unexpected failure";
    }
    if (errorText != nullptr) *errorText = fixed != nullptr ? copy_text(fixed, std::strlen(fixed)) : copy_text(why);
    return CT_statusFail;
}

// A set rendered as text (JSON or tree) into *out.
template <class Render>
CTstatus render_text(CTkvs kvs, char **out, char **errorText, Render render) noexcept
{
    if (out != nullptr) *out = nullptr;
    return answer_with_text(errorText, [&](std::string *why) {
        if (out == nullptr) {
            *why = "no output text";
            return false;
        }
        std::string text;
        return render(kvs, &text, why) && hand_out(text, out, why);
    });
}

// snprintf's contract for a name built by `make`; "" when out of memory.
template <class Make>
std::size_t write_name(char *buffer, std::size_t size, Make make) noexcept
{
    std::string name;
    try {
        name = make();
    } catch (...) {
        name.clear();
    }
    if (buffer != nullptr && size > 0) {
        const std::size_t n = name.size() < size - 1 ? name.size() : size - 1;
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
    }
    return name.size();
}

bool block_format(std::uint32_t format, kvset::BlockFormat *out)
{
    switch (format) {
    case KV_BLOCK_AUTO: *out = kvset::BlockFormat::Auto; return true;
    case KV_BLOCK_MEMORY: *out = kvset::BlockFormat::Memory; return true;
    case KV_BLOCK_FILE: *out = kvset::BlockFormat::File; return true;
    }
    return false;
}

// Magic, length field and trailer of a memory buffer of `length` bytes.
bool frame_is_sound(const std::uint8_t *buffer, std::uint32_t length)
{
    using serial::load_le32;
    return length >= serial::kFrameHeadBytes + serial::kFrameTrailerBytes &&
           load_le32(buffer) == serial::kFrameMagic && load_le32(buffer + 4) == length &&
           load_le32(buffer + length - serial::kFrameTrailerBytes) == serial::kFrameTrailer;
}

}  // namespace
}  // namespace kvs

using namespace kvs;

extern "C" {

CTstatus MRQkvs_ValidateBlock(const uint8_t *bytes, size_t size, uint32_t format, size_t *faultOffset,
                              char **faultText)
{
    if (faultOffset != nullptr) *faultOffset = 0;
    return answer_with_text(faultText, [&](std::string *why) {
        kvset::BlockFormat chosen = kvset::BlockFormat::Auto;
        if (!block_format(format, &chosen)) {
            *why = "unknown block format " + std::to_string(format);
            return false;
        }
        // The internal reader, so that an exhausted heap reaches the handler
        // as bad_alloc and is never reported as a fault of the block.
        kvset::BlockInfo info;
        kvset::BlockFault fault;
        if (kvs::inspect::read_block_strict(bytes, size, chosen, false, nullptr, &info, &fault)) return true;
        if (faultOffset != nullptr) *faultOffset = fault.offset;
        *why = kvset::formatFault(fault);
        return false;
    });
}

CTstatus MRQkvs_ToJson(CTkvs kvs, char **json, char **errorText)
{
    return render_text(kvs, json, errorText, [](CTkvs set, std::string *text, std::string *why) {
        return kvset::toJson(set, text, why);
    });
}

CTstatus MRQkvs_RenderTree(CTkvs kvs, char **text, char **errorText)
{
    return render_text(kvs, text, errorText, [](CTkvs set, std::string *tree, std::string *why) {
        return kvset::renderTree(set, tree, why);
    });
}

CTstatus MRQkvs_FromJson(const char *json, CTkvs *kvs, char **errorText)
{
    if (kvs != nullptr) *kvs = 0;
    return answer_with_text(errorText, [&](std::string *why) {
        if (json == nullptr) {
            *why = "no JSON text";
            return false;
        }
        if (kvs == nullptr) {
            *why = "no output handle";
            return false;
        }
        return kvset::fromJson(json, kvs, why);
    });
}

size_t MRQkvs_TypeName(uint32_t type, char *name, size_t size)
{
    return write_name(name, size, [type] { return kvs::inspect::type_name(type); });
}

size_t MRQkvs_ErrorName(CTerror error, char *name, size_t size)
{
    return write_name(name, size, [error] { return kvs::inspect::error_text(error); });
}

CTstatus MRQkvs_ReadFramedBuffer(CTkvs kvs, const uint8_t *buffer, uint32_t length, CTerror *error)
{
    kvs::KVSetHeader *set = nullptr;
    const CTstatus status = kvs::open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    if (buffer == nullptr) return kvs::answer(error, CT_errorBadParameter, CT_statusFail);
    if (!frame_is_sound(buffer, length)) return kvs::answer(error, CT_errorBadHeader, CT_statusFail);
    return MRQkvs_ReadFromMemory(kvs, buffer + serial::kFrameHeadBytes,
                                 length - serial::kFrameHeadBytes - serial::kFrameTrailerBytes, error);
}

void MRQkvs_FreeText(char *text) { kvs::mem_free(text); }

}  // extern "C"
