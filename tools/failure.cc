// Messages of the kvset tool.
#include "failure.h"

namespace kvset_tool {

std::string clipped(const std::string &text)
{
    constexpr std::size_t kLimit = 60;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // inside a UTF-8 character
        if (characters++ == kLimit) return text.substr(0, i) + "...";
    }
    return text;
}

}  // namespace kvset_tool
