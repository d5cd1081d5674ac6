// Replacing a named file whole. The content goes to a new temporary file in
// the target's directory, is flushed and synced to the disk, and the
// temporary is renamed over the target: a reader, a kill, a full disk or a
// refused write meets either the old file or the new one, never a cut or
// mixed block. CTkvs_WriteFile, KVSet::write and kvset::writeFile all write
// through here.
#ifndef KVSET_SRC_SERIAL_REPLACE_FILE_H
#define KVSET_SRC_SERIAL_REPLACE_FILE_H

#include <cstdio>

#include "kvset/ctkvs.h"

namespace kvs {
namespace serial {

// Writes the whole content to the stream: CT_errorOK, or the symbol of the
// failure (the stream may then hold part of the content).
using ContentWriter = CTerror (*)(std::FILE *stream, const void *content);

struct FileWrite {
    // CT_errorOK; CT_errorFileOpen when the file cannot be opened;
    // CT_errorNoResource when the bytes cannot reach the disk (a failed
    // flush, sync or close, no room for the temporary); or the symbol the
    // content writer returned.
    CTerror verdict;
    int osError;  // errno after the failed step (0 on success)
};

// Writes the file at path (a multibyte name) with the content writer.
// - A symbolic link is followed to the file it finally names; the temporary
//   is made beside that file and the link stays.
// - A replaced file keeps its permission bits; a new file gets 0666 less the
//   umask, as fopen would give. (The owner is the writer's, and other hard
//   links of a replaced file keep the old content.)
// - A target that is not a regular file (a FIFO, a device), one the caller
//   may not write, or one beside which no temporary can be made (a read-only
//   directory) is opened and written directly, as fopen "wb" does; so is a
//   target whose rename is refused (a sticky directory).
// On any failure the temporary is removed and the target is untouched; a
// killed writer may leave its temporary (".<name>.XXXXXX") behind. An
// existing file whose temporary finds no room (ENOSPC, EDQUOT) is
// CT_errorNoResource without the content writer being run. The
// content writer runs once, or twice when a refused rename falls back to the
// direct write. Takes no heap memory of its own.
FileWrite replace_file(const char *path, ContentWriter write, const void *content);

}  // namespace serial
}  // namespace kvs

#endif
