// The media sets a make-call options set may offer and accept, and the reader
// of a media list.
#ifndef KVSET_SRC_MAKECALL_MAKE_CALL_MEDIA_H
#define KVSET_SRC_MAKECALL_MAKE_CALL_MEDIA_H

#include <cstddef>

#include "kvset/KVSet.h"

namespace kvs {
namespace makecall {

struct MediaSet {
    const unsigned int *symbols;
    std::size_t count;
    bool contains(unsigned int symbol) const
    {
        for (std::size_t i = 0; i < count; ++i)
            if (symbols[i] == symbol) return true;
        return false;
    }
};

extern const MediaSet kOfferMedia;
extern const MediaSet kAcceptMedia;

// Reads the symbol array under `key` of `options` into `media`/`count` when
// it holds 1 to 3 symbols of `valid`; returns false (nothing written) otherwise.
bool load_media(const KVSet &options, unsigned int key, const MediaSet &valid, unsigned int (&media)[3], int *count);

}  // namespace makecall
}  // namespace kvs

#endif
