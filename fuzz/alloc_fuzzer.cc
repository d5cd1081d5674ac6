// Fuzz target: allocation failures inside the memory decoder and the memory
// encoder. The first 4 input bytes (little-endian) choose the allocation that
// fails: the low 31 bits its number, the top bit whether every later one
// fails too. The rest is a memory block. The block is first decoded with no
// failure (the reference); then with the failure injected the decoder must
// either give the reference result whole (a failure the library absorbs, or
// no failure reached) or report CT_errorNoResource (or the reference's own
// failure), and nothing may stay registered or allocated afterwards. A set
// that decodes is then encoded with the same failure injected.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "round_trip.h"
#include "store/alloc_internal.h"

namespace {

using kvs::test::FailMode;

std::string encoding(CTkvs set)
{
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    CTerror e = 0;
    if (MRQkvs_WriteToMemory(&buffer, set, &length, &e) != CT_statusOK) return "<unwritable>";
    std::string out(reinterpret_cast<const char *>(buffer), length);
    MRQkvs_FreeBuffer(buffer);
    return out;
}

struct Decoded {
    CTstatus status;
    CTerror error;
    std::string encoding;
};

Decoded decode(const std::uint8_t *block, std::uint32_t size, std::uint64_t failAt, FailMode mode,
               std::uint64_t *seen, std::string *product)
{
    CTkvs set = 0;
    CTerror e = 0;
    fuzzing::require(CTkvs_Create(&set, &e) == CT_statusOK, "create");
    kvs::test::fail_allocation(failAt, mode);
    Decoded d{};
    d.status = MRQkvs_ReadFromMemory(set, block, size, &d.error);
    *seen = kvs::test::disarm_allocation_failures();
    d.encoding = encoding(set);
    if (d.status == CT_statusOK && product != nullptr) {
        // The same failure inside the encoder: the whole frame, or a report
        // with nothing handed out.
        std::uint8_t *buffer = nullptr;
        std::uint32_t length = 0;
        kvs::test::fail_allocation(failAt, mode);
        CTstatus s = MRQkvs_WriteToMemory(&buffer, set, &length, &e);
        kvs::test::disarm_allocation_failures();
        if (s == CT_statusOK) {
            product->assign(reinterpret_cast<const char *>(buffer), length);
            MRQkvs_FreeBuffer(buffer);
        } else {
            fuzzing::require(s == CT_statusFail && e == CT_errorNoResource, "encoder failure not reported");
            fuzzing::require(buffer == nullptr && length == 0, "encoder handed out a buffer on failure");
            *product = "<failed>";
        }
    }
    CTkvs_Destroy(set, &e);
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4 || size - 4 > UINT32_MAX) return 0;
    std::uint32_t chooser;
    std::memcpy(&chooser, data, 4);
    const std::uint64_t failAt = (chooser & 0x7FFFFFFFu) % 4096 + 1;  // allocations a small block can reach
    const FailMode mode = (chooser & 0x80000000u) != 0 ? FailMode::FromThenOn : FailMode::Once;
    const std::uint8_t *block = data + 4;
    const auto length = static_cast<std::uint32_t>(size - 4);

    const std::uint32_t registered = MRQkvs_GetNumKVS();
    kvs::test::count_live_blocks(true);
    std::uint64_t seen = 0;
    const Decoded reference = decode(block, length, 0, FailMode::Once, &seen, nullptr);
    std::string product;
    const Decoded injected = decode(block, length, failAt, mode, &seen, &product);
    if (seen < failAt) {
        // No allocation failed: the same answer and the same set.
        fuzzing::require(injected.status == reference.status && injected.error == reference.error,
                         "a decode without failure answered differently");
        fuzzing::require(injected.encoding == reference.encoding, "a decode without failure gave another set");
    } else if (injected.status == CT_statusOK) {
        fuzzing::require(reference.status == CT_statusOK, "an injected failure made a bad block decode");
        fuzzing::require(injected.encoding == reference.encoding, "an absorbed failure lost part of the set");
    } else {
        fuzzing::require(injected.error == CT_errorNoResource ||
                             (reference.status != CT_statusOK && injected.error == reference.error),
                         "an injected failure was reported with another symbol");
    }
    if (injected.status == CT_statusOK && product != "<failed>")
        fuzzing::require(product == injected.encoding, "the encoder's frame differs under an absorbed failure");
    fuzzing::require(MRQkvs_GetNumKVS() == registered, "a KV-Set was left registered");
    fuzzing::require(kvs::test::live_blocks() == 0, "heap blocks leaked");
    kvs::test::count_live_blocks(false);
    return 0;
}
