// The exported memory functions: the framed buffer around one block.
#include "serial/codec.h"
#include "serial/wire.h"
#include "store/alloc.h"
#include "store/call.h"

using namespace kvs;
using namespace kvs::serial;

extern "C" {

CTstatus MRQkvs_WriteToMemory(uint8_t **buffer, CTkvs kvs, uint32_t *length, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    if (buffer == nullptr || length == nullptr) return answer(error, CT_errorBadParameter, CT_statusFail);
    OutputBuffer out;
    if (!out.open()) return answer(error, CT_errorNoResource, CT_statusFail);
    const std::uint8_t head[kFrameHeadBytes] = {};  // magic and length, written once the length is known
    std::uint8_t trailer[kFrameTrailerBytes];
    store_le32(trailer, kFrameTrailer);
    if (!out.write(head, sizeof head) || write_block(out, kMemoryVariant, set) != CT_errorOK ||
        !out.write(trailer, sizeof trailer))
        return answer(error, CT_errorNoResource, CT_statusFail);
    out.patch32(0, kFrameMagic);
    out.patch32(4, out.used());
    *length = out.used();
    *buffer = out.release();
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus MRQkvs_ReadFromMemory(CTkvs kvs, const uint8_t *buffer, uint32_t length, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    MemorySource source(buffer, length);  // a null buffer has no bytes
    CTerror verdict = read_block(source, kMemoryVariant, set);
    return answer(error, verdict, verdict == CT_errorOK ? CT_statusOK : CT_statusFail);
}

uint32_t MRQkvs_FreeBuffer(uint8_t *buffer)
{
    mem_free(buffer);
    return 0;
}

}  // extern "C"
