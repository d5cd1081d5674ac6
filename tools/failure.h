// How the kvset tool's commands fail: a Failure ends the command with exit
// code 1 and its message as one line on standard error.
#ifndef KVSET_TOOLS_FAILURE_H
#define KVSET_TOOLS_FAILURE_H

#include <string>

namespace kvset_tool {

struct Failure {
    std::string message;
};

[[noreturn]] inline void fail(const std::string &message) { throw Failure{message}; }

// Input echoed in a message (a file name): at most 60 characters, then "...".
std::string clipped(const std::string &text);

// A path for a message: "standard input" for "-", else the path in quotes.
inline std::string quote(const std::string &path) { return path == "-" ? "standard input" : "'" + clipped(path) + "'"; }

}  // namespace kvset_tool

#endif
