// The words every block and memory frame is made of: 32-bit little-endian
// integers, the block marker, and the frame's magic and trailer. The codec,
// the buffer sinks and the strict validator read and write them only here.
#ifndef KVSET_SRC_SERIAL_WIRE_H
#define KVSET_SRC_SERIAL_WIRE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kvset/ctkvs.h"

namespace kvs {
namespace serial {

// A little-endian host stores a wire word as it holds it: one 32-bit store.
constexpr bool kHostIsLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

inline void store_le32(std::uint8_t *p, std::uint32_t v)
{
    if (kHostIsLittleEndian) {
        std::memcpy(p, &v, 4);
        return;
    }
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint32_t load_le32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The 13 marker bytes that open every block: "KVSET HEADER" and a zero byte.
constexpr char kMarker[] = "KVSET HEADER";
constexpr std::size_t kMarkerBytes = sizeof(kMarker);

// A memory buffer: magic and total length, the block, then the trailer.
constexpr std::uint32_t kFrameMagic = KVS_FRAME_MAGIC;
constexpr std::uint32_t kFrameTrailer = KVS_FRAME_TRAILER;
constexpr std::size_t kFrameHeadBytes = 8;
constexpr std::size_t kFrameTrailerBytes = 4;

}  // namespace serial
}  // namespace kvs

#endif
