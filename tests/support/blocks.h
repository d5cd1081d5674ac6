// Blocks for tests: a byte builder for hand-written blocks, and encoders and
// decoders for both variants.
#ifndef KVSET_TESTS_SUPPORT_BLOCKS_H
#define KVSET_TESTS_SUPPORT_BLOCKS_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"
#include "serial/block_io.h"

namespace kvs::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian byte builder for hand-written blocks.
struct Builder {
    Bytes bytes;
    Builder &u8(std::uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    Builder &u16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8)); }
    Builder &u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16)); }
    Builder &marker()
    {
        for (char c : std::string("KVSET HEADER")) u8(static_cast<std::uint8_t>(c));
        return u8(0);
    }
    Builder &head(std::int32_t pairs) { return marker().u32(static_cast<std::uint32_t>(pairs)); }
    Builder &pair(std::uint32_t type, std::uint32_t key, std::int32_t count)
    {
        return u32(type).u32(key).u32(static_cast<std::uint32_t>(count));
    }
    Builder &append(const Bytes &more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
};

// A KV-Set destroyed at the end of the scope.
class Set {
public:
    Set()
    {
        CTerror e = 0;
        EXPECT_EQ(CTkvs_Create(&handle_, &e), CT_statusOK);
    }
    ~Set()
    {
        CTerror e = 0;
        if (handle_ != 0) CTkvs_Destroy(handle_, &e);
    }
    Set(const Set &) = delete;
    Set &operator=(const Set &) = delete;
    operator CTkvs() const { return handle_; }

private:
    CTkvs handle_ = 0;
};

struct Result {
    CTstatus status;
    CTerror error;
};

inline Bytes file_contents(std::FILE *f)
{
    Bytes out;
    std::rewind(f);
    int c;
    while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<std::uint8_t>(c));
    return out;
}

// The whole framed buffer from MRQkvs_WriteToMemory.
inline Bytes memory_frame(CTkvs kvs)
{
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    CTerror e = 0;
    EXPECT_EQ(MRQkvs_WriteToMemory(&buffer, kvs, &length, &e), CT_statusOK);
    EXPECT_EQ(e, CT_errorOK);
    if (buffer == nullptr) return {};
    Bytes out(buffer, buffer + length);
    MRQkvs_FreeBuffer(buffer);
    return out;
}

// The block inside the frame.
inline Bytes memory_block(CTkvs kvs)
{
    Bytes frame = memory_frame(kvs);
    if (frame.size() < 12) return {};
    return Bytes(frame.begin() + 8, frame.end() - 4);
}

inline Bytes file_block(CTkvs kvs)
{
    std::FILE *f = std::tmpfile();
    CTerror e = 0;
    EXPECT_EQ(WriteKVSBlock(f, kvs, &e), CT_statusOK);
    EXPECT_EQ(e, CT_errorOK);
    Bytes out = file_contents(f);
    std::fclose(f);
    return out;
}

inline Result read_memory(CTkvs kvs, const Bytes &block)
{
    CTerror e = 0;
    CTstatus s = MRQkvs_ReadFromMemory(kvs, block.data(), static_cast<std::uint32_t>(block.size()), &e);
    return {s, e};
}

// Reads a file block through a pipe: a stream that cannot seek or tell its length.
inline Result read_pipe(CTkvs kvs, const Bytes &block)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], block.data(), block.size()), static_cast<ssize_t>(block.size()));
    close(fds[1]);
    std::FILE *in = fdopen(fds[0], "rb");
    CTerror e = 0;
    CTstatus s = ReadKVSBlock(in, kvs, &e);
    std::fclose(in);
    return {s, e};
}

inline Result read_file(CTkvs kvs, const Bytes &block)
{
    std::FILE *f = std::tmpfile();
    if (!block.empty()) std::fwrite(block.data(), 1, block.size(), f);
    std::rewind(f);
    CTerror e = 0;
    CTstatus s = ReadKVSBlock(f, kvs, &e);
    std::fclose(f);
    return {s, e};
}

// One variant of the block, for tests that run over both.
struct Variant {
    const char *name;
    Bytes (*encode)(CTkvs);
    Result (*decode)(CTkvs, const Bytes &);
    bool memory;
};

inline const Variant kVariants[] = {
    {"memory", memory_block, read_memory, true},
    {"file", file_block, read_file, false},
};

inline bool sets_match(CTkvs a, CTkvs b)
{
    std::uint32_t result = 0;
    CTerror e = 0;
    EXPECT_EQ(CTkvs_Match(a, b, &result, &e), CT_statusOK);
    return result == 1;
}

}  // namespace kvs::test

#endif
