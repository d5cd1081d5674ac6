// Fuzz target: the file block reader on a stream (fmemopen), with a round
// trip through both writers, display, text and comparison.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0) return 0;  // fmemopen needs at least one byte
    const std::uint32_t before = MRQkvs_GetNumKVS();
    std::FILE *in = fmemopen(const_cast<std::uint8_t *>(data), size, "rb");
    fuzzing::require(in != nullptr, "fmemopen");
    CTkvs set = 0;
    CTerror e = 0;
    CTkvs_Create(&set, &e);
    if (ReadKVSBlock(in, set, &e) == CT_statusOK) {
        fuzzing::check_renderings(set);
        fuzzing::check_file_round_trip(set);
        fuzzing::check_memory_round_trip(set);
        fuzzing::check_copies_from_nested(set);
    } else {
        fuzzing::require(e == CT_errorBadFormat || e == CT_errorBadHeader || e == CT_errorBadParameter ||
                             e == CT_errorNoResource,
                         "unexpected reader symbol");
    }
    std::fclose(in);
    CTkvs_Destroy(set, &e);
    fuzzing::require(MRQkvs_GetNumKVS() == before, "a KV-Set was left registered");
    return 0;
}
