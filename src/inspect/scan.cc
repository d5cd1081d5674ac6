// Finding blocks in arbitrary bytes: each candidate is read with the same
// lenient and strict reads as a whole block (decodeBlock, validateBlock).
#include <algorithm>
#include <cstring>

#include "inspect/inspect_internal.h"
#include "kvset/inspect.h"
#include "serial/wire.h"

namespace kvset {
namespace {

using kvs::serial::kFrameHeadBytes;
using kvs::serial::kFrameMagic;
using kvs::serial::kFrameTrailer;
using kvs::serial::kFrameTrailerBytes;
using kvs::serial::kMarker;
using kvs::serial::kMarkerBytes;
using kvs::serial::load_le32;

// A lenient read of the candidate at `at`, to the end of the input.
DecodeResult lenient_read(const unsigned char *bytes, std::size_t size, std::size_t at, BlockFormat format)
{
    DecodeResult result;
    decodeBlock(bytes + at, size - at, format, &result);
    CTerror ignored = 0;
    if (result.kvs != 0) CTkvs_Destroy(result.kvs, &ignored);
    result.kvs = 0;
    return result;
}

void shift(BlockFault *fault, std::size_t at) { fault->offset += at; }

long long pair_count(const unsigned char *bytes, std::size_t size, std::size_t marker)
{
    if (marker + kMarkerBytes + 4 > size) return -1;
    return static_cast<std::int32_t>(load_le32(bytes + marker + kMarkerBytes));
}

// Judges the candidate whose extent is [at, at + length) once read leniently.
void judge(const unsigned char *bytes, std::size_t at, BlockFormat format, const DecodeResult &read,
           std::size_t length, ScanCandidate *c)
{
    if (read.faulted) {
        c->verdict = ScanVerdict::Truncated;
        c->fault = read.fault;
        shift(&c->fault, at);
        return;
    }
    BlockInfo info;
    BlockFault fault;
    if (validateBlock(bytes + at, length, format, &info, &fault)) {
        c->verdict = ScanVerdict::Valid;
        c->fault = BlockFault{format, c->framed, 0, -1, "", ""};
        return;
    }
    c->verdict = ScanVerdict::Invalid;
    c->fault = fault;
    shift(&c->fault, at);
}

ScanCandidate framed_candidate(const unsigned char *bytes, std::size_t size, std::size_t at)
{
    ScanCandidate c{at, BlockFormat::Memory, true, 0, pair_count(bytes, size, at + kFrameHeadBytes),
                    ScanVerdict::Truncated, BlockFault{BlockFormat::Memory, true, at, -1, "", ""}};
    const std::size_t left = size - at;
    if (left < kFrameHeadBytes) {
        c.length = left;
        c.fault.reason = "the input ends inside the frame";
        return c;
    }
    c.length = load_le32(bytes + at + 4);
    if (c.length > left) {
        c.fault.offset = size;
        c.fault.reason = "the input ends " + std::to_string(c.length - left) + " bytes before the frame's end";
        const DecodeResult read = lenient_read(bytes, size, at, BlockFormat::Memory);
        if (read.faulted && read.fault.offset + at < size) {
            c.fault = read.fault;  // the block stops making sense before the input ends
            shift(&c.fault, at);
        }
        return c;
    }
    const DecodeResult read = lenient_read(bytes, size, at, BlockFormat::Memory);
    if (c.length >= kFrameHeadBytes + kFrameTrailerBytes &&
        load_le32(bytes + at + c.length - kFrameTrailerBytes) == kFrameTrailer) {
        judge(bytes, at, BlockFormat::Memory, read, c.length, &c);
        return c;
    }
    // No trailer where the frame ends: the buffer's bytes are not all here
    // (cut, or split across packets with other bytes between). The first
    // thing the read found wrong says where its bytes stop.
    c.verdict = ScanVerdict::Truncated;
    if (read.faulted && (read.warnings.empty() || read.fault.offset < read.warnings.front().offset))
        c.fault = read.fault;
    else if (!read.warnings.empty() && read.warnings.front().offset != 4)
        c.fault = read.warnings.front();
    else
        c.fault = BlockFault{BlockFormat::Memory, true, c.length - kFrameTrailerBytes, -1, "",
                             "no frame trailer where the frame ends"};
    shift(&c.fault, at);
    return c;
}

ScanCandidate bare_candidate(const unsigned char *bytes, std::size_t size, std::size_t at)
{
    DecodeResult asFile = lenient_read(bytes, size, at, BlockFormat::File);
    BlockFormat format = BlockFormat::File;
    DecodeResult read = asFile;
    if (asFile.faulted || !asFile.warnings.empty()) {
        DecodeResult asMemory = lenient_read(bytes, size, at, BlockFormat::Memory);
        const bool memoryBetter = asFile.faulted ? (!asMemory.faulted || asMemory.end > asFile.end)
                                                 : (!asMemory.faulted && asMemory.warnings.size() < asFile.warnings.size());
        if (memoryBetter) {
            format = BlockFormat::Memory;
            read = asMemory;
        }
    }
    ScanCandidate c{at, format, false, read.end, pair_count(bytes, size, at), ScanVerdict::Truncated, BlockFault{}};
    judge(bytes, at, format, read, read.end, &c);
    return c;
}

bool inside_whole(const std::vector<ScanCandidate> &found, std::size_t first, std::size_t at)
{
    for (std::size_t i = first; i < found.size(); ++i) {
        const ScanCandidate &c = found[i];
        if (c.framed && at == c.offset + kFrameHeadBytes) return true;  // the frame's own block
        if (c.verdict == ScanVerdict::Truncated) continue;
        if (at > c.offset && at < c.offset + c.length) return true;
    }
    return false;
}

}  // namespace

bool scanBlocks(const unsigned char *bytes, std::size_t size, std::vector<ScanCandidate> *found, std::string *error)
{
    if (found == nullptr || (bytes == nullptr && size != 0)) {
        if (error != nullptr) *error = found == nullptr ? "no output list" : "no input bytes";
        return false;
    }
    return kvs::inspect::guarded(error, [&](std::string *) {
        const std::size_t first = found->size();
        unsigned char magic[4];
        for (int i = 0; i < 4; ++i) magic[i] = static_cast<unsigned char>(kFrameMagic >> (8 * i));
        for (std::size_t at = 0; at + 4 <= size; ++at) {
            if (std::memcmp(bytes + at, magic, 4) == 0) {
                found->push_back(framed_candidate(bytes, size, at));
                continue;
            }
            if (at + kMarkerBytes <= size && std::memcmp(bytes + at, kMarker, kMarkerBytes) == 0 &&
                !inside_whole(*found, first, at))
                found->push_back(bare_candidate(bytes, size, at));
        }
        return true;
    });
}

const char *scanVerdictName(ScanVerdict verdict)
{
    switch (verdict) {
    case ScanVerdict::Valid: return "valid";
    case ScanVerdict::Invalid: return "invalid";
    case ScanVerdict::Truncated: return "truncated";
    }
    return "unknown";
}

}  // namespace kvset
