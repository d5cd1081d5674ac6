// Test seams of replace_file: stand-ins for making the temporary file and a
// wrapper around its stream, so that tests can refuse the temporary or fail
// any write of a rewrite. Not part of the public API; one test at a time.
#ifndef KVSET_SRC_SERIAL_REPLACE_FILE_INTERNAL_H
#define KVSET_SRC_SERIAL_REPLACE_FILE_INTERNAL_H

#include <sys/types.h>

#include <cstdio>

namespace kvs {
namespace serial {
namespace test {

struct ReplaceSeams {
    // Creates the temporary at path with the given mode (O_CREAT | O_EXCL):
    // a descriptor, or -1 with errno. Null: the real open.
    int (*makeTemporary)(const char *path, mode_t mode);
    // Gets the temporary's stream and returns the stream the content is
    // written to. replace_file closes the returned stream (when it is not the
    // temporary's own) before it flushes, syncs and closes the temporary.
    // Null: the content goes to the temporary's stream.
    std::FILE *(*wrapTemporary)(std::FILE *temporary);
};

void set_replace_seams(const ReplaceSeams &seams);
void reset_replace_seams();

}  // namespace test
}  // namespace serial
}  // namespace kvs

#endif
