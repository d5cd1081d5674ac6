// Bounded reading of the tool's input.
#include "input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include "failure.h"

namespace kvset_tool {
namespace {

constexpr std::size_t kChunk = 1 << 20;

std::uint64_t input_limit()
{
    const char *text = std::getenv("KVSET_TEST_INPUT_LIMIT");
    if (text == nullptr || *text == '\0') return kInputLimit;
    char *end = nullptr;
    errno = 0;
    const unsigned long long lowered = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || lowered > kInputLimit) return kInputLimit;
    return lowered;
}

// Closes a file opened here, not standard input.
struct Closer {
    std::FILE *file;
    ~Closer()
    {
        if (file != stdin) std::fclose(file);
    }
};

}  // namespace

std::string read_input(const std::string &path)
{
    const std::string name = path == "-" ? "standard input" : quote(path);
    std::FILE *file = stdin;
    if (path != "-") {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) fail("cannot read " + name + ": it is a directory");
        file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) fail("cannot read " + name + ": " + std::strerror(errno));
    }
    Closer closer{file};
    const std::uint64_t limit = input_limit();

    std::string bytes;
    // A regular file's size only saves regrowing the buffer; it is not trusted.
    struct stat st;
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), limit) + 1));
    for (;;) {
        // One byte past the limit is enough to know the input is too long.
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, limit + 1 - bytes.size()));
        const std::size_t had = bytes.size();
        bytes.resize(had + want);
        const std::size_t got = std::fread(&bytes[had], 1, want, file);
        bytes.resize(had + got);
        if (bytes.size() > limit)
            fail("cannot read " + name + ": more than " + std::to_string(limit) + " bytes (the largest KV-Set block)");
        if (got < want) {
            if (std::ferror(file)) fail("cannot read " + name + ": " + std::strerror(errno));
            return bytes;
        }
    }
}

}  // namespace kvset_tool
