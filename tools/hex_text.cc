#include "hex_text.h"

#include <cctype>

#include "failure.h"

namespace kvset_tool {
namespace {

int digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hex part of an xxd line: after "offset: ", up to the two spaces before
// the character column.
std::string xxd_hex(const std::string &line, std::size_t colon)
{
    std::size_t start = colon + 1;
    while (start < line.size() && line[start] == ' ') ++start;
    const std::size_t end = line.find("  ", start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool is_xxd_offset(const std::string &line, std::size_t *colon)
{
    std::size_t i = 0;
    while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) ++i;
    if (i == 0 || i >= line.size() || line[i] != ':') return false;
    *colon = i;
    return true;
}

}  // namespace

std::string bytes_from_hex(const std::string &text, const std::string &name)
{
    std::string out;
    std::size_t start = 0;
    int high = -1;  // a first digit waiting for its second: a plain stream may wrap inside a byte
    long number = 1;  // of the next line
    for (; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        const std::string where = quote(name) + " line " + std::to_string(number - 1) + ": ";
        std::size_t colon = 0;
        if (is_xxd_offset(line, &colon)) line = xxd_hex(line, colon);
        if (line.find_first_not_of(" \t\r") != std::string::npos && line.find('*') != std::string::npos &&
            line.find_first_not_of(" \t\r*") == std::string::npos)
            fail(where + "'*' stands for repeated lines that od folded (dump with od -v)");
        for (char c : line) {
            if (c == ' ' || c == '\t' || c == '\r') {
                if (high >= 0) fail(where + "a byte of one hex digit");
                continue;
            }
            const int d = digit(c);
            if (d < 0) fail(where + "'" + std::string(1, c) + "' is not a hex digit");
            if (high < 0) {
                high = d;
            } else {
                out += static_cast<char>(high * 16 + d);
                high = -1;
            }
        }
    }
    if (high >= 0) fail(quote(name) + " line " + std::to_string(number - 1) + ": a byte of one hex digit");
    return out;
}

}  // namespace kvset_tool
