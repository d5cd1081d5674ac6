// The exported file functions and the block operations on open streams.
#include <cstdlib>

#include "serial/block_io.h"
#include "serial/codec.h"
#include "serial/replace_file.h"
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
    // An unbuffered stream can take a failed write for a whole one (fwrite
    // then returns the full count): its error indicator tells. One already
    // set by the caller's earlier use tells nothing about this write.
    const bool erredBefore = std::ferror(file) != 0;
    FileSink sink(file);
    CTerror verdict = write_block(sink, kFileVariant, set);
    // Buffered bytes that cannot reach the file (a full disk) fail the write.
    const bool flushed = std::fflush(file) == 0;
    if ((!flushed || (!erredBefore && std::ferror(file) != 0)) && verdict == CT_errorOK) verdict = CT_errorNoResource;
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

CTerror write_block_content(std::FILE *stream, const void *kvs)
{
    CTerror error = CT_errorOK;
    WriteKVSBlock(stream, *static_cast<const CTkvs *>(kvs), &error);
    return error;
}

// A file name in the multibyte form of the current locale, in heap memory
// from the seam.
class NarrowName {
public:
    NarrowName() = default;
    NarrowName(const NarrowName &) = delete;
    NarrowName &operator=(const NarrowName &) = delete;
    ~NarrowName() { mem_free(name_); }

    // CT_errorOK with the name converted, or the symbol of the failure.
    CTerror convert(const wchar_t *fileName)
    {
        if (fileName == nullptr) return CT_errorBadParameter;
        std::size_t bytes = std::wcstombs(nullptr, fileName, 0);
        if (bytes == static_cast<std::size_t>(-1)) return CT_errorFileOpen;
        name_ = static_cast<char *>(mem_malloc(bytes + 1));
        if (name_ == nullptr) return CT_errorNoResource;
        std::wcstombs(name_, fileName, bytes + 1);
        return CT_errorOK;
    }
    const char *get() const { return name_; }

private:
    char *name_ = nullptr;
};

// Opens the named file for reading. CT_errorOK with *file set, or the symbol
// of the failure.
CTerror open_for_reading(const wchar_t *fileName, std::FILE **file)
{
    NarrowName name;
    const CTerror converted = name.convert(fileName);
    if (converted != CT_errorOK) return converted;
    *file = std::fopen(name.get(), "rb");
    return *file == nullptr ? CT_errorFileOpen : CT_errorOK;
}

}  // namespace

CTerror WriteKVSFile(const char *path, CTkvs kvs)
{
    return replace_file(path, &write_block_content, &kvs).verdict;
}

extern "C" {

CTstatus CTkvs_WriteFile(CTkvs kvs, const wchar_t *fileName, uint32_t /*ignored*/, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    NarrowName name;
    CTerror verdict = name.convert(fileName);
    if (verdict == CT_errorOK) verdict = WriteKVSFile(name.get(), kvs);
    return answer(error, verdict, verdict == CT_errorOK ? CT_statusOK : CT_statusFail);
}

CTstatus CTkvs_ReadFile(CTkvs kvs, const wchar_t *fileName, uint32_t /*ignored*/, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    std::FILE *file = nullptr;
    CTerror opened = open_for_reading(fileName, &file);
    if (opened != CT_errorOK) return answer(error, opened, CT_statusFail);
    status = ReadKVSBlock(file, kvs, error);
    std::fclose(file);
    return status;
}

}  // extern "C"
