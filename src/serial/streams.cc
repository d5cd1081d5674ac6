// Byte sinks and sources of the codec: the memory encoder's growable buffer,
// a caller's memory block, and runtime file streams.
#include <sys/stat.h>

#include <cstring>

#include "serial/codec.h"
#include "serial/wire.h"
#include "store/alloc.h"

namespace kvs {
namespace serial {

OutputBuffer::~OutputBuffer() { mem_free(start_); }

bool OutputBuffer::open()
{
    start_ = static_cast<std::uint8_t *>(mem_malloc(KVS_BUFFER_STEP));
    if (start_ == nullptr) return false;
    used_ = 0;
    capacity_ = KVS_BUFFER_STEP;
    return true;
}

bool OutputBuffer::grow(std::size_t n)
{
    // The used length travels as a 32-bit number: a frame cannot outgrow it.
    if (n > UINT32_MAX - used_) return false;
    std::uint64_t grown = static_cast<std::uint64_t>(capacity_) + n + KVS_BUFFER_STEP;
    if (grown > UINT32_MAX) grown = UINT32_MAX;
    auto *moved = static_cast<std::uint8_t *>(mem_realloc(start_, static_cast<std::size_t>(grown)));
    if (moved == nullptr) return false;  // the old allocation stays ours
    start_ = moved;
    capacity_ = static_cast<std::uint32_t>(grown);
    return true;
}

bool OutputBuffer::grow_and_write(const void *bytes, std::size_t n)
{
    if (!grow(n)) return false;
    std::memcpy(start_ + used_, bytes, n);
    used_ += static_cast<std::uint32_t>(n);
    return true;
}

void OutputBuffer::patch32(std::uint32_t offset, std::uint32_t value)
{
    store_le32(start_ + offset, value);
}

std::uint8_t *OutputBuffer::release()
{
    std::uint8_t *s = start_;
    start_ = nullptr;
    return s;
}

bool FileSink::write(const void *bytes, std::size_t n)
{
    return std::fwrite(bytes, 1, n, file_) == n;
}

FileSource::FileSource(std::FILE *file) : file_(file), left_(kUnknown)
{
    off_t position = ftello(file);
    if (position < 0) return;
    struct stat info;
    int fd = fileno(file);
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        left_ = info.st_size > position ? static_cast<std::uint64_t>(info.st_size - position) : 0;
        return;
    }
    // Not a regular file: a stream that seeks (fmemopen) tells its end.
    if (fseeko(file, 0, SEEK_END) != 0) return;
    off_t end = ftello(file);
    if (fseeko(file, position, SEEK_SET) != 0) {
        left_ = 0;  // the position is lost: nothing more can be read reliably
        return;
    }
    if (end >= position) left_ = static_cast<std::uint64_t>(end - position);
}

bool FileSource::read(void *bytes, std::size_t n)
{
    if (left_ != kUnknown && n > left_) return false;
    if (std::fread(bytes, 1, n, file_) != n) {
        left_ = 0;
        return false;
    }
    if (left_ != kUnknown) left_ -= n;
    return true;
}

}  // namespace serial
}  // namespace kvs
