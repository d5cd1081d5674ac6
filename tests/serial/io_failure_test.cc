// The file block reader and writer on streams that fail: the Nth read or
// write of a stream (fopencookie) fails, reads come back short, and a stream
// ends at every position of a golden file. A failure must be reported, keep
// the pairs read before it (each whole), register nothing and leak nothing;
// a short read is not the end of the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "serial/block_io.h"
#include "serial/codec.h"
#include "store/alloc_internal.h"
#include "store/registry.h"
#include "support/alloc_sweep.h"
#include "support/every_type.h"
#include "support/fixture.h"

namespace {

constexpr CTsymbol kKept = 0x7FFF0001;    // a pair the target holds and the block does not
constexpr CTsymbol kReplaced = 0x00000100;  // a pair the target holds and the block replaces

// A stream over a string through fopencookie: the Nth read or write call
// fails, reads give at most maxChunk bytes, and a read that would cross
// shortAt stops there.
struct ScriptedStream {
    std::string data;
    std::size_t position = 0;
    std::uint64_t calls = 0;
    std::uint64_t failAt = 0;  // 1-based; 0: never
    std::size_t maxChunk = SIZE_MAX;
    std::size_t shortAt = SIZE_MAX;

    static ssize_t read(void *cookie, char *buffer, std::size_t size)
    {
        auto *s = static_cast<ScriptedStream *>(cookie);
        if (++s->calls == s->failAt) {
            errno = EIO;
            return -1;
        }
        std::size_t n = std::min({size, s->data.size() - s->position, s->maxChunk});
        if (s->shortAt > s->position && s->shortAt < s->position + n) n = s->shortAt - s->position;
        std::memcpy(buffer, s->data.data() + s->position, n);
        s->position += n;
        return static_cast<ssize_t>(n);
    }
    static ssize_t write(void *cookie, const char *buffer, std::size_t size)
    {
        auto *s = static_cast<ScriptedStream *>(cookie);
        if (++s->calls == s->failAt) {
            errno = ENOSPC;
            return 0;  // a cookie writer reports failure as 0: stdio goes wrong on a negative count
        }
        s->data.append(buffer, size);
        return static_cast<ssize_t>(size);
    }
    static int seek(void *cookie, off64_t *offset, int whence)
    {
        auto *s = static_cast<ScriptedStream *>(cookie);
        const off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<off64_t>(s->position)
                                                                          : static_cast<off64_t>(s->data.size());
        const off64_t target = base + *offset;
        if (target < 0 || target > static_cast<off64_t>(s->data.size())) return -1;
        s->position = static_cast<std::size_t>(target);
        *offset = target;
        return 0;
    }

    // seekable: the reader learns the length up front; otherwise it must
    // grow its storage with what arrives.
    std::FILE *open(const char *mode, bool buffered, bool seekable)
    {
        cookie_io_functions_t io{&read, &write, seekable ? &seek : nullptr, nullptr};
        std::FILE *f = fopencookie(this, mode, io);
        EXPECT_NE(f, nullptr);
        if (f != nullptr && !buffered) std::setvbuf(f, nullptr, _IONBF, 0);
        return f;
    }
};

struct Shape {
    bool buffered;
    bool seekable;
};
const Shape kShapes[] = {{false, false}, {false, true}, {true, false}, {true, true}};

std::string shape_name(const Shape &s)
{
    return std::string(s.buffered ? "buffered" : "unbuffered") + (s.seekable ? ", seekable" : ", not seekable");
}

class StreamFailures : public kvs::test::KvsTest {
protected:
    void SetUp() override
    {
        KvsTest::SetUp();
        source_ = kvs::test::every_type(true);
        ScriptedStream out;
        std::FILE *f = out.open("wb", true, false);
        CTerror e = 0;
        EXPECT_EQ(WriteKVSBlock(f, source_, &e), CT_statusOK);
        std::fclose(f);
        block_ = out.data;
        // The complete result of reading the block into a target.
        CTkvs complete = target();
        EXPECT_EQ(read(block_, complete, {}).status, CT_statusOK);
        complete_ = sweep::pairs_of(complete);
        completeEncoding_ = sweep::encoding(complete);
        destroy(complete);
    }
    void TearDown() override
    {
        destroy(source_);
        kvs::test::count_live_blocks(false);
        KvsTest::TearDown();
    }

    static void destroy(CTkvs kvs)
    {
        CTerror e = 0;
        CTkvs_Destroy(kvs, &e);
    }

    // A target holding one pair the block replaces and one it keeps.
    static CTkvs target()
    {
        CTkvs t = 0;
        CTerror e = 0;
        CTkvs_Create(&t, &e);
        CTkvs_PutString(t, kReplaced, L"replaced", &e);
        CTkvs_PutInt(t, kKept, 7, &e);
        return t;
    }

    struct Read {
        CTstatus status;
        CTerror error;
        std::uint64_t calls;
    };
    static Read read(const std::string &bytes, CTkvs into, ScriptedStream script, Shape shape = {false, false})
    {
        script.data = bytes;
        std::FILE *f = script.open("rb", shape.buffered, shape.seekable);
        CTerror e = 0;
        CTstatus s = ReadKVSBlock(f, into, &e);
        std::fclose(f);
        return {s, e, script.calls};
    }

    // Reads with the script and checks a complete result, or a reported
    // failure that kept a whole prefix of the merge and leaked nothing.
    void check_read(const std::string &bytes, const ScriptedStream &script, Shape shape, bool mustSucceed,
                    const std::string &where)
    {
        const std::uint32_t registered = MRQkvs_GetNumKVS();
        kvs::test::count_live_blocks(true);
        CTkvs t = target();
        const sweep::Pairs before = sweep::pairs_of(t);
        Read r = read(bytes, t, script, shape);
        if (mustSucceed || r.status == CT_statusOK) {
            EXPECT_EQ(r.status, CT_statusOK) << where << ": error 0x" << std::hex << r.error;
            EXPECT_EQ(sweep::encoding(t), completeEncoding_) << where;
        } else {
            EXPECT_EQ(r.status, CT_statusFail) << where;
            EXPECT_TRUE(r.error == CT_errorBadFormat || r.error == CT_errorBadHeader)
                << where << ": error 0x" << std::hex << r.error;
            std::string why;
            EXPECT_TRUE(sweep::partial_merge(before, complete_, sweep::pairs_of(t), &why)) << where << ": " << why;
        }
        destroy(t);
        EXPECT_EQ(MRQkvs_GetNumKVS(), registered) << where << ": sets left registered";
        EXPECT_EQ(kvs::test::live_blocks(), 0) << where << ": heap blocks leaked";
        kvs::test::count_live_blocks(false);
    }

    CTkvs source_ = 0;
    std::string block_;
    sweep::Pairs complete_;
    std::string completeEncoding_;

private:
};

TEST_F(StreamFailures, EveryFailedWriteIsReportedAndLeavesTheSetAsItWas)
{
    const std::string before = sweep::encoding(source_);
    for (bool buffered : {false, true}) {
        ScriptedStream dry;
        std::FILE *f = dry.open("wb", buffered, false);
        CTerror e = 0;
        ASSERT_EQ(WriteKVSBlock(f, source_, &e), CT_statusOK);
        std::fclose(f);
        ASSERT_EQ(dry.data, block_);
        ASSERT_GT(dry.calls, 0u);
        for (std::uint64_t n = 1; n <= dry.calls + 1; ++n) {
            const std::string where = (buffered ? "buffered, write " : "unbuffered, write ") + std::to_string(n);
            ScriptedStream script;
            script.failAt = n;
            f = script.open("wb", buffered, false);
            CTstatus s = WriteKVSBlock(f, source_, &e);
            std::fclose(f);
            if (n <= dry.calls) {
                EXPECT_EQ(s, CT_statusFail) << where;
                EXPECT_EQ(e, CT_errorNoResource) << where;
            } else {
                EXPECT_EQ(s, CT_statusOK) << where;
                EXPECT_EQ(script.data, block_) << where;
            }
            EXPECT_EQ(sweep::encoding(source_), before) << where;
        }
    }
}

TEST_F(StreamFailures, EveryFailedReadIsReported)
{
    for (const Shape &shape : kShapes) {
        const CTkvs counted = target();
        const Read dry = read(block_, counted, {}, shape);
        destroy(counted);
        ASSERT_GT(dry.calls, 0u);
        for (std::uint64_t n = 1; n <= dry.calls; ++n) {
            ScriptedStream script;
            script.failAt = n;
            check_read(block_, script, shape, false, shape_name(shape) + ", read " + std::to_string(n) + " fails");
        }
        ScriptedStream never;
        never.failAt = dry.calls + 1;
        check_read(block_, never, shape, true, shape_name(shape) + ", no read fails");
    }
}

TEST_F(StreamFailures, ShortReadsAreNotTheEndOfTheStream)
{
    for (const Shape &shape : kShapes) {
        for (std::size_t chunk = 1; chunk <= 7; ++chunk) {
            ScriptedStream script;
            script.maxChunk = chunk;
            check_read(block_, script, shape, true, shape_name(shape) + ", reads of " + std::to_string(chunk));
        }
        for (std::size_t at = 1; at < block_.size(); ++at) {
            ScriptedStream script;
            script.shortAt = at;
            check_read(block_, script, shape, true, shape_name(shape) + ", short read at " + std::to_string(at));
        }
    }
}

std::string load(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(StreamFailures, AStreamThatEndsInsideTheBlockIsReported)
{
    for (const Shape &shape : kShapes)
        for (std::size_t length = 0; length < block_.size(); ++length)
            check_read(block_.substr(0, length), {}, shape, false,
                       shape_name(shape) + ", ends after " + std::to_string(length) + " bytes");
    // The golden files, cut at every position, through a plain stream.
    for (const char *golden : {"nested", "surrogate", "empty_element"}) {
        const std::string bytes = load(std::string(KVSET_TEST_DATA_DIR "/") + golden + ".file.kvs");
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            const std::string where = std::string(golden) + " ends after " + std::to_string(length) + " bytes";
            kvs::test::count_live_blocks(true);
            CTkvs t = 0;
            CTerror e = 0;
            CTkvs_Create(&t, &e);
            Read r = read(bytes.substr(0, length), t, {});
            EXPECT_EQ(r.status, CT_statusFail) << where;
            EXPECT_EQ(r.error, length < 13 ? CT_errorBadHeader : CT_errorBadFormat) << where;
            destroy(t);
            EXPECT_EQ(kvs::test::live_blocks(), 0) << where << ": heap blocks leaked";
            kvs::test::count_live_blocks(false);
        }
    }
    // The memory block, cut at every position, through the memory decoder.
    CTkvs plain = kvs::test::every_type(false);
    const std::string frame = sweep::encoding(plain);
    destroy(plain);
    const std::string block = frame.substr(8, frame.size() - 12);
    for (std::size_t length = 0; length < block.size(); ++length) {
        const std::string where = "memory block ends after " + std::to_string(length) + " bytes";
        kvs::test::count_live_blocks(true);
        CTkvs t = 0;
        CTerror e = 0;
        CTkvs_Create(&t, &e);
        EXPECT_EQ(MRQkvs_ReadFromMemory(t, reinterpret_cast<const std::uint8_t *>(block.data()),
                                        static_cast<std::uint32_t>(length), &e),
                  CT_statusFail)
            << where;
        EXPECT_EQ(e, CT_errorBadFormat) << where;
        destroy(t);
        EXPECT_EQ(kvs::test::live_blocks(), 0) << where << ": heap blocks leaked";
        kvs::test::count_live_blocks(false);
    }
}

// A sink whose Nth write fails.
class FailingSink final : public kvs::serial::ByteSink {
public:
    explicit FailingSink(std::uint64_t failAt) : failAt_(failAt) {}
    bool write(const void *bytes, std::size_t n) override
    {
        if (++writes == failAt_) return false;
        data.append(static_cast<const char *>(bytes), n);
        return true;
    }
    std::uint64_t writes = 0;
    std::string data;

private:
    std::uint64_t failAt_;
};

TEST_F(StreamFailures, EveryFailedSinkWriteEndsTheEncoding)
{
    CTkvs plain = kvs::test::every_type(false);
    for (const kvs::serial::Variant *variant : {&kvs::serial::kMemoryVariant, &kvs::serial::kFileVariant}) {
        CTkvs set = variant == &kvs::serial::kFileVariant ? source_ : plain;
        FailingSink dry(0);
        ASSERT_EQ(kvs::serial::write_block(dry, *variant, kvs::registry_find(set)), CT_errorOK);
        for (std::uint64_t n = 1; n <= dry.writes; ++n) {
            FailingSink sink(n);
            EXPECT_EQ(kvs::serial::write_block(sink, *variant, kvs::registry_find(set)), CT_errorNoResource)
                << (variant == &kvs::serial::kFileVariant ? "file" : "memory") << " variant, write " << n;
            EXPECT_EQ(sink.writes, n);  // nothing written after the failure
        }
    }
    destroy(plain);
}

// The memory encoder's buffer grows when a write would pass its end: with
// the growth failing, the encoding ends at whichever write needs it, and
// that write may be any write of the encoder.
TEST_F(StreamFailures, TheBufferCanFailToGrowAtEveryWriteOfTheEncoder)
{
    CTkvs plain = kvs::test::every_type(false);
    const std::string frame = sweep::encoding(plain);
    const std::size_t block = frame.size() - 12;
    const std::string filler(KVS_BUFFER_STEP, 'x');
    for (std::size_t before = KVS_BUFFER_STEP - block; before < KVS_BUFFER_STEP; ++before) {
        kvs::serial::OutputBuffer out;
        ASSERT_TRUE(out.open());
        ASSERT_TRUE(out.write(filler.data(), before));
        kvs::test::fail_allocation(1, kvs::test::FailMode::Once);
        const CTerror verdict = kvs::serial::write_block(out, kvs::serial::kMemoryVariant, kvs::registry_find(plain));
        const std::uint64_t seen = kvs::test::disarm_allocation_failures();
        if (before + block <= KVS_BUFFER_STEP) {
            EXPECT_EQ(verdict, CT_errorOK) << before;
        } else {
            EXPECT_EQ(seen, 1u) << before;
            EXPECT_EQ(verdict, CT_errorNoResource) << before;
            EXPECT_LE(out.used(), KVS_BUFFER_STEP) << before;
        }
    }
    destroy(plain);
}

}  // namespace
