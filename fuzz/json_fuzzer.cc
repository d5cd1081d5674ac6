// Fuzz target: the JSON reader of the inspection API. Text it accepts must
// give a set whose JSON reads back to the same text; text it refuses must
// leave nothing registered. Blocks are checked strictly on the way, and an
// accepted set renders (display and text) and compares equal to itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kvset/kvset.h"
#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::uint32_t before = MRQkvs_GetNumKVS();
    const std::string text(reinterpret_cast<const char *>(data), size);
    CTkvs set = 0;
    std::string error;
    if (kvset::fromJson(text, &set, &error)) {
        std::string json;
        fuzzing::require(kvset::toJson(set, &json, &error), "an accepted set cannot be written as JSON");
        fuzzing::check_renderings(set);
        CTkvs again = 0;
        fuzzing::require(kvset::fromJson(json, &again, &error), "the writer's JSON is refused");
        std::string json_again;
        fuzzing::require(kvset::toJson(again, &json_again, &error) && json_again == json, "JSON round trip differs");
        std::vector<unsigned char> block;
        fuzzing::require(kvset::writeBlock(set, kvset::BlockFormat::File, &block, &error), "no file block");
        fuzzing::require(kvset::validateBlock(block.data(), block.size(), kvset::BlockFormat::File, nullptr, nullptr),
                         "the file block of an accepted set does not validate");
        CTerror e = 0;
        CTkvs_Destroy(again, &e);
        CTkvs_Destroy(set, &e);
    } else {
        fuzzing::require(set == 0 && !error.empty() && error[0] == '$', "a refusal without a JSON path");
    }
    fuzzing::require(MRQkvs_GetNumKVS() == before, "a KV-Set was left registered");
    return 0;
}
