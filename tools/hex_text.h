// Bytes from hex text as logs hold it: a plain hex stream, an xxd dump, or
// an `od -An -tx1` dump.
#ifndef KVSET_TOOLS_HEX_TEXT_H
#define KVSET_TOOLS_HEX_TEXT_H

#include <string>

namespace kvset_tool {

// The bytes the text spells. Whitespace between digits is ignored; a line
// that starts with an xxd offset ("00000040:") loses the offset and the
// character column. A bad line is a Failure naming its line number, "*" (od
// folding repeated lines) included.
std::string bytes_from_hex(const std::string &text, const std::string &name);

}  // namespace kvset_tool

#endif
