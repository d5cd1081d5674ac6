// Writes the seed corpora of the fuzz targets and the golden blocks of the
// tests from sample KV-Sets:
//   kvset_make_corpus <fuzz/corpora dir> <tests/data dir>
// Run it again only when the sample sets change; its output is committed.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"
#include "serial/block_io.h"
#include "support/every_type.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes frame_of(CTkvs kvs)
{
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    CTerror e = 0;
    if (MRQkvs_WriteToMemory(&buffer, kvs, &length, &e) != CT_statusOK) return {};
    Bytes out(buffer, buffer + length);
    MRQkvs_FreeBuffer(buffer);
    return out;
}

Bytes memory_block_of(CTkvs kvs)
{
    Bytes frame = frame_of(kvs);
    return frame.size() < 12 ? Bytes{} : Bytes(frame.begin() + 8, frame.end() - 4);
}

Bytes file_block_of(CTkvs kvs)
{
    char *bytes = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&bytes, &size);
    CTerror e = 0;
    WriteKVSBlock(out, kvs, &e);
    std::fclose(out);
    Bytes block(bytes, bytes + size);
    std::free(bytes);
    return block;
}

void save(const fs::path &path, const Bytes &bytes)
{
    if (bytes.empty()) {
        std::fprintf(stderr, "nothing to write for %s\n", path.c_str());
        std::exit(1);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

void u32(Bytes &b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

CTkvs created()
{
    CTkvs h = 0;
    CTerror e = 0;
    CTkvs_Create(&h, &e);
    return h;
}

void destroy(CTkvs h)
{
    CTerror e = 0;
    CTkvs_Destroy(h, &e);
}

CTkvs nested_chain(int levels)
{
    CTerror e = 0;
    CTkvs current = created();
    CTkvs_PutInt(current, 7, levels, &e);
    for (int i = 0; i < levels; ++i) {
        CTkvs outer = created();
        CTkvs_PutKVS(outer, 1, current, &e);
        destroy(current);
        current = outer;
    }
    return current;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <corpora dir> <golden dir>\n", argv[0]);
        return 2;
    }
    const fs::path corpora(argv[1]), golden(argv[2]);
    fs::create_directories(corpora / "memory");
    fs::create_directories(corpora / "file");
    fs::create_directories(golden);
    CTerror e = 0;

    // Both variants of the same sets.
    struct Sample {
        const char *name;
        CTkvs set;
    };
    CTkvs strings = created();
    std::wstring longText(300, L'w');
    CTkvs_PutString(strings, 1, longText.c_str(), &e);
    CTkvs_PutString(strings, 2, L"\U0001F600\U0010FFFF\uFFFF", &e);
    const Sample samples[] = {
        {"empty", created()},
        {"every_type", kvs::test::every_type(false)},
        {"nested_chain", nested_chain(5)},
        {"deepest_nesting", nested_chain(KVS_MAX_NESTING)},
        {"strings", strings},
    };
    for (const Sample &s : samples) {
        save(corpora / "memory" / (std::string(s.name) + ".bin"), memory_block_of(s.set));
        save(corpora / "file" / (std::string(s.name) + ".bin"), file_block_of(s.set));
        destroy(s.set);
    }

    // The empty-element form: written by the file writer only. Without
    // characters and strings the file block is also a valid memory block.
    CTkvs withEmpty = kvs::test::every_type(true);
    save(corpora / "file" / "empty_element.bin", file_block_of(withEmpty));
    destroy(withEmpty);
    CTkvs leaf = created();
    CTkvs_PutInt(leaf, 1, 1, &e);
    const CTkvs elements[] = {leaf, 0};
    CTkvs emptyElement = created();
    CTkvs_PutKVSArray(emptyElement, 1, elements, 2, &e);
    save(corpora / "memory" / "empty_element.bin", file_block_of(emptyElement));
    save(golden / "empty_element.file.kvs", file_block_of(emptyElement));
    destroy(emptyElement);
    destroy(leaf);

    // An unknown type code among known ones: its 12 bytes are skipped.
    Bytes unknown = {'K', 'V', 'S', 'E', 'T', ' ', 'H', 'E', 'A', 'D', 'E', 'R', 0};
    u32(unknown, 2);
    for (std::uint32_t v : {99u, 5u, 1u}) u32(unknown, v);
    for (std::uint32_t v : {15u, 6u, 1u, 4u, 42u}) u32(unknown, v);
    save(corpora / "memory" / "unknown_code.bin", unknown);
    save(corpora / "file" / "unknown_code.bin", unknown);

    // Golden blocks: a nested set, and a string with a surrogate pair.
    CTkvs inner = created();
    CTkvs_PutString(inner, 1, L"in", &e);
    CTkvs_PutChar(inner, 2, 'z', &e);
    CTkvs nested = created();
    CTkvs_PutInt(nested, 1, 7, &e);
    CTkvs_PutKVS(nested, 2, inner, &e);
    const wchar_t *list[] = {L"x"};
    CTkvs_PutStringArray(nested, 3, list, 1, &e);
    save(golden / "nested.frame.kvs", frame_of(nested));
    save(golden / "nested.file.kvs", file_block_of(nested));
    destroy(nested);
    destroy(inner);
    CTkvs surrogate = created();
    CTkvs_PutString(surrogate, 1, L"\U0001F600!", &e);
    save(golden / "surrogate.frame.kvs", frame_of(surrogate));
    save(golden / "surrogate.file.kvs", file_block_of(surrogate));
    destroy(surrogate);

    // The allocation-failure target: each memory seed behind 4 bytes that
    // choose the failing allocation (number - 1; top bit: from then on).
    fs::create_directories(corpora / "alloc");
    struct Failure {
        std::uint32_t number;
        bool fromThenOn;
    };
    const Failure failures[] = {{1, false}, {4, false}, {7, true}, {20, false}};
    for (const auto &entry : fs::directory_iterator(corpora / "memory")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes block((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const Failure &f : failures) {
            Bytes seed;
            u32(seed, (f.number - 1) | (f.fromThenOn ? 0x80000000u : 0u));
            seed.insert(seed.end(), block.begin(), block.end());
            const std::string name = entry.path().stem().string() + "_fail" + std::to_string(f.number) +
                                     (f.fromThenOn ? "_on" : "") + ".bin";
            save(corpora / "alloc" / name, seed);
        }
    }

    return MRQkvs_GetNumKVS() == 0 ? 0 : 1;
}
