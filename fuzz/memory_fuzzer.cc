// Fuzz target: the memory block decoder, with a round trip through both
// writers, display, text and comparison.
#include <cstddef>
#include <cstdint>

#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > UINT32_MAX) return 0;
    const std::uint32_t before = MRQkvs_GetNumKVS();
    CTkvs set = 0;
    CTerror e = 0;
    CTkvs_Create(&set, &e);
    if (MRQkvs_ReadFromMemory(set, data, static_cast<std::uint32_t>(size), &e) == CT_statusOK) {
        fuzzing::check_renderings(set);
        fuzzing::check_memory_round_trip(set);
        fuzzing::check_file_round_trip(set);
        fuzzing::check_copies_from_nested(set);
    } else {
        fuzzing::require(e == CT_errorBadFormat || e == CT_errorBadParameter || e == CT_errorNoResource,
                         "unexpected decoder symbol");
    }
    CTkvs_Destroy(set, &e);
    fuzzing::require(MRQkvs_GetNumKVS() == before, "a KV-Set was left registered");
    return 0;
}
