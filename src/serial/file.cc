// The exported file functions and the block operations on open streams.
#include <cstdlib>

#include "serial/block_io.h"
#include "serial/codec.h"
#include "store/alloc.h"
#include "store/call.h"
#include "store/registry.h"

using namespace kvs;
using namespace kvs::serial;

CTstatus WriteKVSBlock(std::FILE *file, CTkvs kvs, CTerror *error)
{
    if (error == nullptr) return CT_statusFail;
    KVSetHeader *set = registry_find(kvs);  // the handle only: no signature check
    if (set == nullptr) return answer(error, CT_errorInvalidKVSet, CT_statusFail);
    if (file == nullptr) return answer(error, CT_errorBadParameter, CT_statusFail);
    FileSink sink(file);
    CTerror verdict = write_block(sink, kFileVariant, set);
    // Buffered bytes that cannot reach the file (a full disk) fail the write.
    if (std::fflush(file) != 0 && verdict == CT_errorOK) verdict = CT_errorNoResource;
    return answer(error, verdict, verdict == CT_errorOK ? CT_statusOK : CT_statusFail);
}

CTstatus ReadKVSBlock(std::FILE *file, CTkvs kvs, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    if (file == nullptr) return answer(error, CT_errorBadParameter, CT_statusFail);
    FileSource source(file);
    CTerror verdict = read_block(source, kFileVariant, set);
    return answer(error, verdict, verdict == CT_errorOK ? CT_statusOK : CT_statusFail);
}

namespace {

// Opens the named file after converting its name to the multibyte form of
// the current locale. CT_errorOK with *file set, or the symbol of the failure.
CTerror open_named(const wchar_t *fileName, const char *mode, std::FILE **file)
{
    *file = nullptr;
    if (fileName == nullptr) return CT_errorBadParameter;
    std::size_t bytes = std::wcstombs(nullptr, fileName, 0);
    if (bytes == static_cast<std::size_t>(-1)) return CT_errorFileOpen;
    auto *name = static_cast<char *>(mem_malloc(bytes + 1));
    if (name == nullptr) return CT_errorNoResource;
    std::wcstombs(name, fileName, bytes + 1);
    *file = std::fopen(name, mode);
    mem_free(name);
    return *file == nullptr ? CT_errorFileOpen : CT_errorOK;
}

}  // namespace

extern "C" {

CTstatus CTkvs_WriteFile(CTkvs kvs, const wchar_t *fileName, uint32_t /*ignored*/, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    std::FILE *file = nullptr;
    CTerror opened = open_named(fileName, "wb", &file);
    if (opened != CT_errorOK) return answer(error, opened, CT_statusFail);
    status = WriteKVSBlock(file, kvs, error);
    if (std::fclose(file) != 0 && status == CT_statusOK) return answer(error, CT_errorNoResource, CT_statusFail);
    return status;
}

CTstatus CTkvs_ReadFile(CTkvs kvs, const wchar_t *fileName, uint32_t /*ignored*/, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    std::FILE *file = nullptr;
    CTerror opened = open_named(fileName, "rb", &file);
    if (opened != CT_errorOK) return answer(error, opened, CT_statusFail);
    status = ReadKVSBlock(file, kvs, error);
    std::fclose(file);
    return status;
}

}  // extern "C"
