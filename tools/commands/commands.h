// Commands of the kvset tool that live in their own files; kvset.cc parses
// the arguments and dispatches. Each returns the exit code or throws Failure.
#ifndef KVSET_TOOLS_COMMANDS_COMMANDS_H
#define KVSET_TOOLS_COMMANDS_COMMANDS_H

#include <string>
#include <vector>

namespace kvset_tool {

struct ScanOptions {
    bool hex = false;         // inputs are hex text
    bool json = false;        // one JSON object a candidate
    std::string extractDir;   // "" for none
};

// kvset scan: every block candidate in each input, one line each.
int scan(const std::vector<std::string> &paths, const ScanOptions &options);

}  // namespace kvset_tool

#endif
