// Fuzz target: the memory block decoder, with a round trip through both
// writers, display, text and comparison, and the strict validator's decode
// of the same bytes held against the decoder's.
#include <cstddef>
#include <cstdint>

#include "kvset/inspect.h"
#include "round_trip.h"

namespace {

// The validator refuses more than the decoder, never less: a block it
// accepts must decode, to a set that matches its own. Its decode of a
// framed buffer is held against the decoder's read of the block inside.
// Only an exhausted heap may make the two disagree.
void check_strict_agrees(const std::uint8_t *data, std::size_t size)
{
    CTkvs strict = 0;
    kvset::BlockInfo info;
    kvset::BlockFault fault;
    if (!kvset::readBlock(data, size, kvset::BlockFormat::Memory, &strict, &info, &fault)) return;
    const std::size_t skip = info.framed ? 8 : 0, trailer = info.framed ? 4 : 0;
    CTkvs lenient = 0;
    CTerror e = 0;
    CTkvs_Create(&lenient, &e);
    if (MRQkvs_ReadFromMemory(lenient, data + skip, static_cast<std::uint32_t>(size - skip - trailer), &e) ==
        CT_statusOK) {
        std::uint32_t same = 0;
        fuzzing::require(CTkvs_Match(strict, lenient, &same, &e) == CT_statusOK && same == 1,
                         "the validator and the decoder read different sets");
    } else {
        fuzzing::require(e == CT_errorNoResource, "the decoder refused a block the validator accepted");
    }
    CTkvs_Destroy(lenient, &e);
    CTkvs_Destroy(strict, &e);
}

}  // namespace

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
    check_strict_agrees(data, size);
    fuzzing::require(MRQkvs_GetNumKVS() == before, "a KV-Set was left registered");
    return 0;
}
