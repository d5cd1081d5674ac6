// Reading the kvset tool's input: a file, or standard input for "-".
#ifndef KVSET_TOOLS_INPUT_H
#define KVSET_TOOLS_INPUT_H

#include <cstdint>
#include <string>

namespace kvset_tool {

// The most the tool reads from one input: 4 GiB - 1 bytes. A memory buffer's
// frame gives its total length in 32 bits, and the inspection API reads any
// block, framed or bare, from a source whose length is 32 bits (it refuses
// more), so no block it can take is longer. A file block's counts could
// describe more, but not one that the library could read back here. A JSON
// text gets the same limit: it is read whole, and a set too large for a
// memory buffer has no place to go.
constexpr std::uint64_t kInputLimit = 0xFFFFFFFFu;

// The whole input, read in chunks: refused (Failure) as soon as it holds more
// than kInputLimit bytes, whatever the file claims to hold (pipes and devices
// say nothing, or nothing true). The environment variable
// KVSET_TEST_INPUT_LIMIT, a number of bytes, lowers the limit for the tests;
// it never raises it.
std::string read_input(const std::string &path);

}  // namespace kvset_tool

#endif
