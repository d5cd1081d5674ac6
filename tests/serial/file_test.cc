// Files and streams: named files, write failures, streams that cannot seek,
// the KV-Set array forms, golden blocks, and every allocation failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "store/alloc_internal.h"
#include "store/registry.h"
#include "store/store.h"
#include "support/blocks.h"
#include "support/every_type.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

using namespace kvs::test;

namespace {

// A KV-Set handle destroyed at the end of the scope.
struct Owned {
    CTkvs handle;
    ~Owned()
    {
        CTerror e = 0;
        CTkvs_Destroy(handle, &e);
    }
    operator CTkvs() const { return handle; }
};

Bytes load(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::wstring widen(const std::string &s) { return std::wstring(s.begin(), s.end()); }

class Files : public KvsTest {
protected:
    std::wstring path(const char *name) const { return widen(dir_ + "/" + name); }
    std::string narrow(const char *name) const { return dir_ + "/" + name; }

    kvs::test::TempDir scratch_{"kvset-serial-"};
    const std::string dir_ = scratch_.path().string();
};

TEST_F(Files, NamedFileRoundTripOfEveryType)
{
    Owned set{kvs::test::every_type(false)};
    CTerror e = 0;
    ASSERT_EQ(CTkvs_WriteFile(set, path("all.kvs").c_str(), 0xFFFFFFFF, &e), CT_statusOK);
    EXPECT_EQ(e, CT_errorOK);
    EXPECT_EQ(load(narrow("all.kvs")), file_block(set));
    Set back;
    ASSERT_EQ(CTkvs_ReadFile(back, path("all.kvs").c_str(), 12345, &e), CT_statusOK);
    EXPECT_EQ(e, CT_errorOK);
    EXPECT_TRUE(sets_match(set, back));
    // Writing again truncates: the file holds the smaller block alone.
    Set empty;
    ASSERT_EQ(CTkvs_WriteFile(empty, path("all.kvs").c_str(), 0, &e), CT_statusOK);
    EXPECT_EQ(load(narrow("all.kvs")).size(), 17u);
    // And the memory variant of the same set.
    Set fromMemory;
    EXPECT_EQ(read_memory(fromMemory, memory_block(set)).status, CT_statusOK);
    EXPECT_TRUE(sets_match(set, fromMemory));
}

TEST_F(Files, OpenAndArgumentFailures)
{
    Set set;
    CTerror e = 0;
    CTkvs_PutInt(set, 1, 1, &e);
    struct Case {
        const char *what;
        CTstatus status;
        CTerror error;
    };
    auto check = [&](const Case &c, CTstatus status) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(e, c.error);
        EXPECT_EQ(MRQkvs_GetNumPairs(set), 1);
    };
    check({"read a missing file", 3, CT_errorFileOpen}, CTkvs_ReadFile(set, path("missing").c_str(), 0, &e));
    check({"write into a missing directory", 3, CT_errorFileOpen},
          CTkvs_WriteFile(set, path("no/such.kvs").c_str(), 0, &e));
    check({"null name", 3, CT_errorBadParameter}, CTkvs_ReadFile(set, nullptr, 0, &e));
    check({"unregistered handle", 3, CT_errorInvalidKVSet}, CTkvs_WriteFile(0, path("x").c_str(), 0, &e));
    std::ofstream(narrow("empty.kvs")).close();
    check({"empty file", 3, CT_errorBadHeader}, CTkvs_ReadFile(set, path("empty.kvs").c_str(), 0, &e));
    std::ofstream(narrow("text.kvs")) << "not a KV-Set block at all";
    check({"other content", 3, CT_errorBadHeader}, CTkvs_ReadFile(set, path("text.kvs").c_str(), 0, &e));
    EXPECT_EQ(CTkvs_WriteFile(set, path("x").c_str(), 0, nullptr), CT_statusFail);
    EXPECT_EQ(WriteKVSBlock(nullptr, set, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorBadParameter);
    EXPECT_EQ(ReadKVSBlock(nullptr, set, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorBadParameter);
}

TEST_F(Files, FailedWritesAreReported)
{
    Owned set{kvs::test::every_type(false)};
    CTerror e = 0;
    // The buffered bytes cannot be flushed to a full device.
    EXPECT_EQ(CTkvs_WriteFile(set, L"/dev/full", 0, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorNoResource);
    // Unbuffered: the first fwrite fails.
    std::FILE *full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(WriteKVSBlock(full, set, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorNoResource);
    std::fclose(full);
}

TEST_F(Files, KVSetArrayElementsOnlyTheFileWriterCanWrite)
{
    Set leaf, set;
    CTerror e = 0;
    CTkvs_PutInt(leaf, 1, 1, &e);
    const CTkvs elements[] = {leaf, 0};
    CTkvs_PutKVSArray(set, 1, elements, 2, &e);
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    EXPECT_EQ(MRQkvs_WriteToMemory(&buffer, set, &length, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorNoResource);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(length, 0u);
    const Bytes golden = load(KVSET_TEST_DATA_DIR "/empty_element.file.kvs");
    EXPECT_EQ(file_block(set), golden);
    // Without characters or strings the file block is a memory block too.
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        Set back;
        ASSERT_EQ(v.decode(back, golden).status, CT_statusOK);
        EXPECT_TRUE(sets_match(set, back));
    }

    // An element whose set was destroyed behind the pair's back.
    Set other;
    const CTkvs both[] = {leaf, leaf};
    CTkvs_PutKVSArray(other, 9, both, 2, &e);
    CTkvs *held = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ(CTkvs_GetKVSArray(other, 9, &held, &count, &e), CT_statusOK);
    CTkvs_Destroy(held[1], &e);
    EXPECT_EQ(MRQkvs_WriteToMemory(&buffer, other, &length, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorNoResource);
    std::FILE *f = std::tmpfile();
    EXPECT_EQ(WriteKVSBlock(f, other, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorInvalidKVSet);
    std::fclose(f);
}

TEST_F(Files, GoldenBlocksDecodeAndReEncodeByteForByte)
{
    struct Golden {
        const char *stem;
        void (*check)(CTkvs);
    };
    const Golden goldens[] = {
        {"nested",
         [](CTkvs h) {
             CTerror e = 0;
             CTkvs inner = 0;
             ASSERT_EQ(CTkvs_GetKVS(h, 2, &inner, &e), CT_statusOK);
             std::uint16_t c = 0;
             EXPECT_EQ(CTkvs_GetChar(inner, 2, &c, &e), CT_statusOK);
             EXPECT_EQ(c, 'z');
             wchar_t *s = nullptr;
             EXPECT_EQ(CTkvs_GetString(inner, 1, &s, &e), CT_statusOK);
             EXPECT_STREQ(s, L"in");
         }},
        {"surrogate",
         [](CTkvs h) {
             CTerror e = 0;
             wchar_t *s = nullptr;
             ASSERT_EQ(CTkvs_GetString(h, 1, &s, &e), CT_statusOK);
             EXPECT_STREQ(s, L"\U0001F600!");
         }},
    };
    for (const Golden &g : goldens) {
        SCOPED_TRACE(g.stem);
        const Bytes frame = load(std::string(KVSET_TEST_DATA_DIR "/") + g.stem + ".frame.kvs");
        const Bytes file = load(std::string(KVSET_TEST_DATA_DIR "/") + g.stem + ".file.kvs");
        Set fromMemory, fromFile;
        ASSERT_EQ(read_memory(fromMemory, Bytes(frame.begin() + 8, frame.end())).status, CT_statusOK);
        ASSERT_EQ(read_file(fromFile, file).status, CT_statusOK);
        g.check(fromMemory);
        g.check(fromFile);
        EXPECT_EQ(memory_frame(fromMemory), frame);
        EXPECT_EQ(file_block(fromFile), file);
        EXPECT_EQ(memory_frame(fromFile), frame);
    }
}

TEST_F(Files, StreamsThatCannotSeek)
{
    Owned set{kvs::test::every_type(true)};
    Set back;
    Result r = read_pipe(back, file_block(set));
    EXPECT_EQ(r.status, CT_statusOK);
    EXPECT_TRUE(sets_match(set, back));
    // A count far beyond what the pipe holds: storage grows only with what arrives.
    Set target;
    for (std::uint32_t type : {KV_TYPE_INT_ARRAY, KV_TYPE_STRING_ARRAY, KV_TYPE_KVS_ARRAY}) {
        Builder b;
        b.head(1).pair(type, 1, 0x7FFFFFF0).u32(4).u32(7);
        r = read_pipe(target, b.bytes);
        EXPECT_EQ(r.error, CT_errorBadFormat);
    }
    Builder s;
    s.head(1).pair(KV_TYPE_STRING, 1, 1).u32(0x7FFFFFF0).u32('a');
    EXPECT_EQ(read_pipe(target, s.bytes).error, CT_errorBadFormat);
    EXPECT_EQ(MRQkvs_GetNumPairs(target), 0);
}

// Runs the operation with allocation n = 1, 2, ... failing (the operation
// arms the failure itself, after its own set-up) until it succeeds; nothing
// may stay registered after any attempt.
template <class Operation>
void sweep_allocation_failures(Operation operation)
{
    for (std::uint64_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        ASSERT_LT(n, 10000u);
        const std::uint32_t before = MRQkvs_GetNumKVS();
        bool done = operation(n);
        kvs::test::disarm_allocation_failures();
        EXPECT_EQ(MRQkvs_GetNumKVS(), before);
        if (done) break;
    }
}

TEST_F(Files, EveryAllocationFailureIsReportedAndLeavesNothingBehind)
{
    Owned set{kvs::test::every_type(false)};
    const Bytes memoryBlock = memory_block(set);
    const Bytes fileBlock = file_block(set);
    sweep_allocation_failures([&](std::uint64_t n) {
        std::uint8_t *buffer = nullptr;
        std::uint32_t length = 0;
        CTerror e = 0;
        kvs::test::fail_allocation(n, kvs::test::FailMode::Once);
        CTstatus s = MRQkvs_WriteToMemory(&buffer, set, &length, &e);
        if (s == CT_statusOK) {
            EXPECT_EQ(Bytes(buffer + 8, buffer + length - 4), memoryBlock);
            MRQkvs_FreeBuffer(buffer);
            return true;
        }
        EXPECT_EQ(s, CT_statusFail);
        EXPECT_EQ(e, CT_errorNoResource);
        EXPECT_EQ(buffer, nullptr);
        return false;
    });
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.name);
        const Bytes &block = v.memory ? memoryBlock : fileBlock;
        sweep_allocation_failures([&](std::uint64_t n) {
            CTkvs target = 0;
            CTerror e = 0;
            CTkvs_Create(&target, &e);
            kvs::test::fail_allocation(n, kvs::test::FailMode::Once);
            Result r = v.decode(target, block);
            kvs::test::disarm_allocation_failures();
            const bool ok = r.status == CT_statusOK;
            if (ok) {
                EXPECT_TRUE(sets_match(set, target));
            } else {
                EXPECT_EQ(r.status, CT_statusFail);
                EXPECT_EQ(r.error, CT_errorNoResource);
            }
            CTkvs_Destroy(target, &e);
            return ok;
        });
    }
}

}  // namespace
