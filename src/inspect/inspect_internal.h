// Internal entry points of the inspection API, for the exported wrappers in
// api.cc and for tests.
#ifndef KVSET_SRC_INSPECT_INSPECT_INTERNAL_H
#define KVSET_SRC_INSPECT_INSPECT_INTERNAL_H

#include <new>
#include <string>
#include <vector>

#include "inspect/snapshot.h"
#include "inspect/text.h"
#include "kvset/inspect.h"

namespace kvs {
namespace inspect {

// Runs body(&why) and turns its false, an exhausted heap or any other
// exception into false with one line in *error (null: no line). Every
// exported inspection function goes through it.
template <class Body>
bool guarded(std::string *error, Body body)
{
    try {
        std::string why;
        if (body(&why)) return true;
        if (error != nullptr) *error = why;
    } catch (const std::bad_alloc &) {
        if (error != nullptr) *error = kOutOfMemory;
    } catch (...) {
        if (error != nullptr) *error = "unexpected failure";
    }
    return false;
}

// Appends every difference between a and b.
void diff_sets(const Set &a, const Set &b, std::vector<kvset::Difference> *out);

// Validates a block strictly and decodes it into a new registered set, kept
// (*kvs) when `keep`, destroyed otherwise. On a fault nothing stays registered.
bool read_block_strict(const unsigned char *bytes, std::size_t size, kvset::BlockFormat format, bool keep,
                       CTkvs *kvs, kvset::BlockInfo *info, kvset::BlockFault *fault);

// Decodes a block as the library's readers do (kvset::decodeBlock). The
// set in result->kvs is registered whenever it is not 0, a fault or an
// exception included: the caller destroys it.
bool read_block_lenient(const unsigned char *bytes, std::size_t size, kvset::BlockFormat format,
                        kvset::DecodeResult *result);

// Encodes kvs as a framed memory buffer or a file block.
bool write_block(CTkvs kvs, kvset::BlockFormat format, std::vector<unsigned char> *bytes, std::string *error);

}  // namespace inspect
}  // namespace kvs

#endif
