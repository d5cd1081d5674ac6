// Strict block validation: where the first fault lies and why, for both
// variants, and the choice of variant.
#include <cstring>

#include "inspect_support.h"

namespace {

using kvset::BlockFault;
using kvset::BlockFormat;
using kvset::BlockInfo;

// Offsets (memory buffer, frame included):
//   25 rec 0  key 1  CTint        type 25 key 29 count 33 size 37 value 41
//   45 rec 1  key 2  CTkvs_ct     size 57, nested marker 61, count 74
//   78 rec 2  key 3  CTstring     width 90, n 91, units 95 99 103
//  107 rec 3  key 4  CTkvs_ct[]   element 0 size 119, marker 123, count 136
//  140 rec 4  key 5  CTchar       size 152, char 156 (2 bytes)
//                                 element 1 size 158, marker 162, count 175
//  179 rec 5  key 6  CTstring[]   width 191, n 192, units 196 200
//  204 trailer
const char kSet[] = R"([
  {"key": 1, "type": "CTint", "value": 5},
  {"key": 2, "type": "CTkvs_ct", "value": [{"key": 3, "type": "CTstring", "value": "ab"}]},
  {"key": 4, "type": "CTkvs_ct[]", "value": [[{"key": 5, "type": "CTchar", "value": "x"}], []]},
  {"key": 6, "type": "CTstring[]", "value": ["q"]}
])";

void put32(std::vector<unsigned char> *b, std::size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

class Blocks : public kvs::test::KvsTest {
protected:
    std::vector<unsigned char> encoded(BlockFormat format)
    {
        CTkvs h = 0;
        std::string error;
        EXPECT_TRUE(kvset::fromJson(kSet, &h, &error)) << error;
        own(h);
        std::vector<unsigned char> bytes;
        EXPECT_TRUE(kvset::writeBlock(h, format, &bytes, &error)) << error;
        return bytes;
    }
};

struct Corruption {
    const char *what;
    std::function<void(std::vector<unsigned char> *)> mutate;
    std::size_t offset;
    long record;
    const char *path;
    const char *reason;  // the start of the reason
};

void expect_faults(const std::vector<unsigned char> &good, BlockFormat format, const std::vector<Corruption> &rows)
{
    for (const Corruption &c : rows) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> bytes = good;
        c.mutate(&bytes);
        BlockInfo info;
        BlockFault fault;
        ASSERT_FALSE(kvset::validateBlock(bytes.data(), bytes.size(), format, &info, &fault));
        EXPECT_EQ(fault.offset, c.offset);
        EXPECT_EQ(fault.record, c.record);
        EXPECT_EQ(fault.path, c.path);
        EXPECT_EQ(fault.reason.rfind(c.reason, 0), 0u) << fault.reason;
        // readBlock refuses the same bytes and leaves nothing registered.
        CTkvs kvs = 99;
        EXPECT_FALSE(kvset::readBlock(bytes.data(), bytes.size(), format, &kvs, &info, &fault));
        EXPECT_EQ(kvs, 0u);
    }
}

TEST_F(Blocks, AGoodBufferValidatesWithTheOffsetOfEveryRecord)
{
    const std::vector<unsigned char> bytes = encoded(BlockFormat::Memory);
    ASSERT_EQ(bytes.size(), 208u);
    BlockInfo info;
    BlockFault fault;
    ASSERT_TRUE(kvset::validateBlock(bytes.data(), bytes.size(), BlockFormat::Auto, &info, &fault))
        << kvset::formatFault(fault);
    EXPECT_EQ(info.format, BlockFormat::Memory);
    EXPECT_TRUE(info.framed);
    EXPECT_EQ(info.size, 208u);
    EXPECT_EQ(info.recordOffsets, (std::vector<std::size_t>{25, 45, 78, 107, 140, 179}));

    CTkvs kvs = 0;
    ASSERT_TRUE(kvset::readBlock(bytes.data(), bytes.size(), BlockFormat::Auto, &kvs, &info, &fault));
    own(kvs);
    std::string text;
    std::string error;
    ASSERT_TRUE(kvset::renderTree(kvs, info, &text, &error)) << error;
    EXPECT_EQ(text,
              " 25  0x00000001 (CTint): 5\n"
              " 45  0x00000002 (CTkvs_ct): 1 pair\n"
              " 78    0x00000003 (CTstring): \"ab\"\n"
              "107  0x00000004 (CTkvs_ct[]): 2 elements\n"
              "       [0]: 1 pair\n"
              "140      0x00000005 (CTchar): 'x'\n"
              "       [1]: 0 pairs\n"
              "179  0x00000006 (CTstring[]): [\"q\"]\n");
}

TEST_F(Blocks, MemoryFaultsNameOffsetRecordAndKeyPath)
{
    const std::vector<unsigned char> good = encoded(BlockFormat::Memory);
    expect_faults(good, BlockFormat::Memory, {
        {"frame length", [](auto *b) { put32(b, 4, 207); }, 4, -1, "", "frame length 207 but the buffer holds 208 bytes"},
        {"frame trailer", [](auto *b) { (*b)[206] ^= 1; }, 204, -1, "", "frame trailer 0xA139DAD0 (0xA138DAD0 expected)"},
        {"cut short", [](auto *b) { b->resize(100); }, 4, -1, "", "frame length 208 but the buffer holds 100 bytes"},
        {"shorter than a frame", [](auto *b) { b->resize(9); }, 9, -1, "", "memory buffer of 9 bytes is shorter than its frame"},
        {"negative pair count", [](auto *b) { put32(b, 21, 0xFFFFFFFFu); }, 21, -1, "", "negative pair count -1"},
        {"pair count beyond the records", [](auto *b) { put32(b, 21, 5); }, 204, -1, "", "pair record cut short"},
        {"pair count short of the records", [](auto *b) { put32(b, 21, 3); }, 179, -1, "", "25 bytes after the end of the block"},
        {"unknown type code", [](auto *b) { put32(b, 25, 99); }, 25, 0, "0x00000001", "unknown type code 99"},
        {"value count of a single value", [](auto *b) { put32(b, 33, 2); }, 33, 0, "0x00000001", "value count 2 for a CTint (1 expected)"},
        {"element size of a single value", [](auto *b) { put32(b, 37, 5); }, 37, 0, "0x00000001", "element size 5 for a CTint (4 expected)"},
        {"nested marker", [](auto *b) { (*b)[61] = 'X'; }, 61, 1, "0x00000002", "no block marker"},
        {"string width byte", [](auto *b) { (*b)[90] = 2; }, 90, 2, "0x00000002/0x00000003", "string width byte 2 (4 expected)"},
        {"string unit beyond 16 bits", [](auto *b) { put32(b, 95, 0x00010061); }, 95, 2, "0x00000002/0x00000003", "string unit 0x00010061 is not a UTF-16 code unit"},
        {"string without terminator", [](auto *b) { put32(b, 103, 'c'); }, 103, 2, "0x00000002/0x00000003", "string without its terminating zero"},
        {"zero inside a string", [](auto *b) { put32(b, 95, 0); }, 95, 2, "0x00000002/0x00000003", "string with a zero unit before its end"},
        {"string longer than the block", [](auto *b) { put32(b, 91, 1000); }, 91, 2, "0x00000002/0x00000003", "string length larger than the bytes that remain"},
        {"character with the file's element size", [](auto *b) { put32(b, 152, 4); }, 152, 4, "0x00000004[0]/0x00000005", "element size 4 for a CTchar (2 expected)"},
        {"KV-Set array element size", [](auto *b) { put32(b, 158, 7); }, 158, 3, "0x00000004[1]", "element size 7 in a KV-Set array"},
        {"KV-Set array count beyond the block", [](auto *b) { put32(b, 115, 1000); }, 115, 3, "0x00000004", "element count larger than the bytes that remain"},
        {"key used twice", [](auto *b) { put32(b, 183, 1); }, 183, 5, "0x00000001", "the key 0x00000001 appears twice in one block"},
        {"string array element width", [](auto *b) { (*b)[191] = 0; }, 191, 5, "0x00000006[0]", "string width byte 0 (4 expected)"},
    });
}

TEST_F(Blocks, FileFaultsAndTheFileVariantsOwnFields)
{
    // File offsets: no frame (-8), characters 4 bytes, no width bytes.
    //   17 rec 0, 37 rec 1 (nested marker 53), 70 rec 2 (n 82, units 86 90 94),
    //   98 rec 3, 131 rec 4 (size 143, char 147), element 1 size 151, 172 rec 5
    const std::vector<unsigned char> good = encoded(BlockFormat::File);
    ASSERT_EQ(good.size(), 196u);
    BlockInfo info;
    BlockFault fault;
    ASSERT_TRUE(kvset::validateBlock(good.data(), good.size(), BlockFormat::Auto, &info, &fault));
    EXPECT_EQ(info.format, BlockFormat::File);
    EXPECT_EQ(info.recordOffsets, (std::vector<std::size_t>{17, 37, 70, 98, 131, 172}));
    expect_faults(good, BlockFormat::File, {
        {"empty input", [](auto *b) { b->clear(); }, 0, -1, "", "block cut short before its marker"},
        {"marker", [](auto *b) { (*b)[0] = 'k'; }, 0, -1, "", "no block marker"},
        {"a byte after the block", [](auto *b) { b->push_back(0); }, 196, -1, "", "1 byte after the end of the block"},
        {"cut inside a string", [](auto *b) { b->resize(88); }, 82, 2, "0x00000002/0x00000003", "string length larger than the bytes that remain"},
        {"cut inside a character", [](auto *b) { b->resize(149); }, 147, 4, "0x00000004[0]/0x00000005", "character cut short"},
        {"character beyond 16 bits", [](auto *b) { put32(b, 147, 0x00010078); }, 147, 4, "0x00000004[0]/0x00000005", "character 0x00010078 is not a UTF-16 code unit"},
        {"character with the memory element size", [](auto *b) { put32(b, 143, 2); }, 143, 4, "0x00000004[0]/0x00000005", "element size 2 for a CTchar (4 expected)"},
        {"empty KV-Set array element is fine, a bad one is not", [](auto *b) { put32(b, 151, 3); }, 151, 3, "0x00000004[1]", "element size 3 in a KV-Set array"},
    });
}

TEST_F(Blocks, AutoTriesTheFileVariantThenTheMemoryVariant)
{
    const std::vector<unsigned char> framed = encoded(BlockFormat::Memory);
    // The bare memory block: a file reader stops at the width byte of the
    // first string, the memory reader takes it.
    const std::vector<unsigned char> bare(framed.begin() + 8, framed.end() - 4);
    BlockInfo info;
    BlockFault fault;
    ASSERT_TRUE(kvset::validateBlock(bare.data(), bare.size(), BlockFormat::Auto, &info, &fault));
    EXPECT_EQ(info.format, BlockFormat::Memory);
    EXPECT_FALSE(info.framed);
    EXPECT_EQ(info.recordOffsets.front(), 17u);
    EXPECT_STREQ(kvset::blockFormatName(info.format, info.framed), "memory block");

    // Neither: the fault reported is from the variant that read further.
    std::vector<unsigned char> broken = bare;
    put32(&broken, 188, 0x00010071);  // the unit of "q" in the memory variant
    ASSERT_FALSE(kvset::validateBlock(broken.data(), broken.size(), BlockFormat::Auto, &info, &fault));
    EXPECT_EQ(kvset::formatFault(fault),
              "memory block: offset 188 (0xBC), record 5 (0x00000006[0]): string unit 0x00010071 is not a UTF-16 "
              "code unit");
    // Text is no block at all.
    const char text[] = "hello, world";
    ASSERT_FALSE(kvset::validateBlock(reinterpret_cast<const unsigned char *>(text), sizeof text - 1,
                                      BlockFormat::Auto, &info, &fault));
    EXPECT_EQ(kvset::formatFault(fault), "file block: offset 0 (0x0): block cut short before its marker");
}

TEST_F(Blocks, NestingBeyondTheLimitIsAFaultAtTheDeepestMarker)
{
    std::string text = "[]";
    for (int i = 0; i < KVS_MAX_NESTING; ++i) text = "[{\"key\": 1, \"type\": \"CTkvs_ct\", \"value\": " + text + "}]";
    CTkvs deepest = 0;
    std::string error;
    ASSERT_TRUE(kvset::fromJson(text, &deepest, &error)) << error;
    own(deepest);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(kvset::writeBlock(deepest, BlockFormat::File, &bytes, &error)) << error;
    BlockInfo info;
    BlockFault fault;
    ASSERT_TRUE(kvset::validateBlock(bytes.data(), bytes.size(), BlockFormat::File, &info, &fault));
    EXPECT_EQ(info.recordOffsets.size(), static_cast<std::size_t>(KVS_MAX_NESTING));

    // One level more: wrap the block in one more record by hand.
    std::vector<unsigned char> deeper(bytes.begin(), bytes.begin() + 13);
    const unsigned char head[] = {1, 0, 0, 0, 61, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    deeper.insert(deeper.end(), head, head + sizeof head);
    deeper.insert(deeper.end(), bytes.begin(), bytes.end());
    ASSERT_FALSE(kvset::validateBlock(deeper.data(), deeper.size(), BlockFormat::File, &info, &fault));
    EXPECT_EQ(fault.reason, "KV-Sets nested deeper than KVS_MAX_NESTING levels");
    EXPECT_EQ(fault.record, KVS_MAX_NESTING);  // the 65th record, whose block would be the 65th level
}

TEST_F(Blocks, WriteBlockRefusesWhatAVariantCannotHold)
{
    CTkvs h = make_set();
    CTerror e = 0;
    const CTkvs elements[] = {0};
    KVS_OK(CTkvs_PutKVSArray(h, 1, elements, 1, &e), e);
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_FALSE(kvset::writeBlock(h, BlockFormat::Memory, &bytes, &error));
    EXPECT_NE(error.find("no memory form"), std::string::npos) << error;
    EXPECT_TRUE(kvset::writeBlock(h, BlockFormat::File, &bytes, &error)) << error;
    EXPECT_FALSE(kvset::writeBlock(h, BlockFormat::Auto, &bytes, &error));
    EXPECT_FALSE(kvset::writeBlock(0, BlockFormat::File, &bytes, &error));
}

}  // namespace

namespace {

// Lenient decoding: what the readers hold, what strict validation refuses as
// warnings, and the fault that ends a read, for both variants' damage.
struct Leniency {
    const char *what;
    BlockFormat format;
    std::function<void(std::vector<unsigned char> *)> mutate;
    std::vector<std::string> warnings;  // each as formatFault prints it
    const char *fault;                  // formatFault of the fault, "" for none
    std::int32_t pairs;                 // pairs of the top set read
};

class LenientBlocks : public Blocks {};

TEST_F(LenientBlocks, ReadAsTheReadersDoWithEveryRefusalAsAWarning)
{
    const std::vector<Leniency> rows = {
        {"a good buffer", BlockFormat::Auto, [](auto *) {}, {}, "", 4},
        {"element size and width byte", BlockFormat::Memory,
         [](auto *b) { put32(b, 37, 5); (*b)[90] = 2; },
         {"memory buffer: offset 37 (0x25), record 0 (0x00000001): element size 5 for a CTint (4 expected)",
          "memory buffer: offset 90 (0x5A), record 2 (0x00000002/0x00000003): string width byte 2 (4 expected)"},
         "", 4},
        {"frame length and trailer", BlockFormat::Auto, [](auto *b) { put32(b, 4, 207); (*b)[206] ^= 1; },
         {"memory buffer: offset 4 (0x4): frame length 207 but the buffer holds 208 bytes",
          "memory buffer: offset 204 (0xCC): frame trailer 0xA139DAD0 (0xA138DAD0 expected)"},
         "", 4},
        {"key used twice keeps the later value in place", BlockFormat::Memory, [](auto *b) { put32(b, 183, 1); },
         {"memory buffer: offset 183 (0xB7), record 5 (0x00000001): the key 0x00000001 appears twice in one block"},
         "", 3},
        {"cut short inside the fourth pair", BlockFormat::Memory, [](auto *b) { b->resize(130); },
         {"memory buffer: offset 4 (0x4): frame length 208 but the buffer holds 130 bytes"},
         "memory buffer: offset 123 (0x7B), record 3 (0x00000004[0]): block cut short before its marker", 2},
        {"a nested marker ends the read", BlockFormat::Memory, [](auto *b) { (*b)[61] = 'X'; }, {},
         "memory buffer: offset 61 (0x3D), record 1 (0x00000002): no block marker \"KVSET HEADER\" here", 1},
    };
    const std::vector<unsigned char> good = encoded(BlockFormat::Memory);
    for (const Leniency &row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<unsigned char> bytes = good;
        row.mutate(&bytes);
        kvset::DecodeResult result;
        const bool clean = kvset::decodeBlock(bytes.data(), bytes.size(), row.format, &result);
        ASSERT_NE(result.kvs, 0u);
        own(result.kvs);
        EXPECT_EQ(clean, *row.fault == '\0');
        EXPECT_EQ(result.faulted, !clean);
        std::vector<std::string> warnings;
        for (const BlockFault &w : result.warnings) warnings.push_back(kvset::formatFault(w));
        EXPECT_EQ(warnings, row.warnings);
        if (result.faulted) {
            EXPECT_EQ(kvset::formatFault(result.fault), row.fault);
        }
        EXPECT_EQ(MRQkvs_GetNumPairs(result.kvs), row.pairs);
        // The readers hold the same pairs: what MRQkvs_ReadFromMemory reads
        // from the block behind the frame compares equal.
        CTkvs direct = 0;
        CTerror error = 0;
        ASSERT_EQ(CTkvs_Create(&direct, &error), CT_statusOK);
        own(direct);
        MRQkvs_ReadFromMemory(direct, bytes.data() + 8, static_cast<std::uint32_t>(bytes.size() - 8), &error);
        EXPECT_EQ(MRQkvs_Compare(direct, result.kvs, &error), 0);
    }
}

TEST_F(LenientBlocks, ABareFileBlockIsReadAsTheFileVariant)
{
    std::vector<unsigned char> bytes = encoded(BlockFormat::File);
    put32(&bytes, 17 + 12, 5);  // element size of the first record
    kvset::DecodeResult result;
    ASSERT_TRUE(kvset::decodeBlock(bytes.data(), bytes.size(), BlockFormat::Auto, &result));
    own(result.kvs);
    EXPECT_EQ(result.info.format, BlockFormat::File);
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0].offset, 29u);
    EXPECT_EQ(result.info.recordOffsets.size(), 6u);
}

}  // namespace

namespace {

using kvset::ScanCandidate;
using kvset::ScanVerdict;

class Scan : public Blocks {};

// Blocks at known offsets in junk: a buffer, a bare file block, a buffer the
// input cuts off; the nested blocks of a whole block are not candidates.
TEST_F(Scan, FindsEveryBlockAtItsOffsetWithItsVerdict)
{
    const std::vector<unsigned char> memory = encoded(BlockFormat::Memory);
    std::vector<unsigned char> file = encoded(BlockFormat::File);
    put32(&file, 17 + 12, 5);  // an element size strict validation refuses
    std::vector<unsigned char> input(10, 0xEE);
    input.insert(input.end(), memory.begin(), memory.end());    // at 10
    input.insert(input.end(), 3, 0xEE);
    input.insert(input.end(), file.begin(), file.end());        // at 221
    input.insert(input.end(), memory.begin(), memory.begin() + 60);  // at 221 + file.size(), cut
    std::vector<ScanCandidate> found;
    std::string error;
    ASSERT_TRUE(kvset::scanBlocks(input.data(), input.size(), &found, &error)) << error;
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].offset, 10u);
    EXPECT_TRUE(found[0].framed);
    EXPECT_EQ(found[0].length, 208u);
    EXPECT_EQ(found[0].pairs, 4);
    EXPECT_EQ(found[0].verdict, ScanVerdict::Valid);
    EXPECT_EQ(found[1].offset, 221u);
    EXPECT_EQ(found[1].format, BlockFormat::File);
    EXPECT_EQ(found[1].length, file.size());
    EXPECT_EQ(found[1].verdict, ScanVerdict::Invalid);
    EXPECT_EQ(found[1].fault.offset, 221u + 29u);
    EXPECT_EQ(found[2].offset, 221u + file.size());
    EXPECT_EQ(found[2].verdict, ScanVerdict::Truncated);
    EXPECT_EQ(found[2].length, 208u);
    EXPECT_STREQ(kvset::scanVerdictName(found[2].verdict), "truncated");
}

TEST_F(Scan, OverlappingAndTinyCandidatesAreReportedNotRead)
{
    // A frame magic at the very end, and inside a second magic's length field.
    const unsigned char input[] = {0xDA, 0xA1, 0xDE, 0xC0, 0xDA, 0xA1, 0xDE, 0xC0, 0x01};
    std::vector<ScanCandidate> found;
    std::string error;
    ASSERT_TRUE(kvset::scanBlocks(input, sizeof input, &found, &error));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].offset, 0u);
    EXPECT_EQ(found[1].offset, 4u);
    EXPECT_EQ(found[1].verdict, ScanVerdict::Truncated);
    EXPECT_EQ(found[1].pairs, -1);
    EXPECT_FALSE(kvset::scanBlocks(nullptr, 3, &found, &error));
}

}  // namespace
