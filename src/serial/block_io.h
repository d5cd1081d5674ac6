// The file block operations that the object layer calls: on streams it opens
// itself (neither opens nor closes the stream), and on a named file.
#ifndef KVSET_SRC_SERIAL_BLOCK_IO_H
#define KVSET_SRC_SERIAL_BLOCK_IO_H

#include <cstdio>

#include "kvset/ctkvs.h"

// Writes the file block of kvs at the stream's position and flushes the
// stream. 0 with CT_errorOK; 3 with CT_errorInvalidKVSet (kvs or a nested
// set not registered), CT_errorNoResource (a write or the flush failed,
// nesting deeper than KVS_MAX_NESTING) or CT_errorBadParameter (no stream).
// A null error reference gives 3 and writes nothing.
CTstatus WriteKVSBlock(std::FILE *file, CTkvs kvs, CTerror *error);

// Reads one file block from the stream's position into kvs (a merge: pairs of
// the same key are replaced in place). 0 with CT_errorOK; otherwise 3 with
// CT_errorBadHeader (the marker does not match), CT_errorBadFormat (the
// stream ends inside the block, or a malformed count or nesting),
// CT_errorNoResource, CT_errorInvalidKVSet, or the symbol of a put that
// refused a value. Pairs read before a failure stay.
CTstatus ReadKVSBlock(std::FILE *file, CTkvs kvs, CTerror *error);

// Writes the file block of kvs to the file at path (a multibyte name),
// replacing the file whole (serial/replace_file.h). CT_errorOK;
// CT_errorFileOpen when the file cannot be opened; otherwise the symbol
// WriteKVSBlock or the replacement reports. Takes kvs as it is: the caller
// checks the handle.
CTerror WriteKVSFile(const char *path, CTkvs kvs);

#endif
