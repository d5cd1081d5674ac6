// Replacing a named file whole: resolve the target, write a synced temporary
// beside it, rename it over the target. Paths live in fixed buffers of
// PATH_MAX bytes (the kernel refuses longer ones anyway), so nothing here
// takes heap memory beyond the stream that stdio opens.
#include "serial/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "serial/replace_file_internal.h"
#include "store/mix.h"

namespace kvs {
namespace serial {
namespace {

int open_new(const char *path, mode_t mode) { return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode); }

std::FILE *unwrapped(std::FILE *temporary) { return temporary; }

std::atomic<int (*)(const char *, mode_t)> g_makeTemporary{&open_new};
std::atomic<std::FILE *(*)(std::FILE *)> g_wrapTemporary{&unwrapped};

constexpr int kMaxLinks = 40;        // as many as the kernel follows in one lookup
constexpr int kNameAttempts = 100;   // fresh temporary names tried before giving up
constexpr mode_t kNewFileMode = 0666;  // what fopen creates with; the kernel takes the umask off

// Copies n bytes of from to to[at...] and terminates; false when PATH_MAX is too short.
bool put_path(char (&to)[PATH_MAX], std::size_t at, const char *from, std::size_t n)
{
    if (at + n >= PATH_MAX) return false;
    std::memcpy(to + at, from, n);
    to[at + n] = '\0';
    return true;
}

// The length of the directory part of path, its last slash included (0 for a bare name).
std::size_t directory_length(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    return slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
}

// Follows symbolic links from path to the file they finally name, which may
// not exist yet. False when the chain cannot be followed here (too long, a
// link that cannot be read, a lookup that fails other than for a missing
// file): the direct open of the name then reports what is wrong.
bool resolve_links(const char *path, char (&target)[PATH_MAX])
{
    if (!put_path(target, 0, path, std::strlen(path))) return false;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info;
        if (lstat(target, &info) != 0) return errno == ENOENT;
        if (!S_ISLNK(info.st_mode)) return true;
        char link[PATH_MAX];
        const ssize_t n = readlink(target, link, sizeof link);
        if (n <= 0 || n >= static_cast<ssize_t>(sizeof link)) return false;
        // A relative link names a file beside the link.
        const std::size_t keep = link[0] == '/' ? 0 : directory_length(target);
        if (!put_path(target, keep, link, static_cast<std::size_t>(n))) return false;
    }
    return false;
}

// True when target can be replaced: a regular file the caller may write
// (its permission bits go to *mode), or no file yet (*mode stays that of a
// new file). A file the caller may not write is left to the direct open,
// which refuses it; a rename would replace it regardless.
bool replaceable(const char *target, mode_t *mode, bool *existing)
{
    struct stat info;
    if (stat(target, &info) != 0) return errno == ENOENT;
    if (!S_ISREG(info.st_mode) || faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) != 0) return false;
    *mode = info.st_mode & 07777;
    *existing = true;
    return true;
}

// Six characters for a temporary name, different in every call and process.
void fill_suffix(char *suffix)
{
    static std::atomic<std::uint64_t> calls{0};
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t x = mix64((static_cast<std::uint64_t>(getpid()) << 32) ^ static_cast<std::uint64_t>(now.tv_nsec) ^
                            (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
                            (calls.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ull));
    for (int i = 0; i < 6; ++i, x /= 62) suffix[i] = kAlphabet[x % 62];
}

// Creates ".<name>.XXXXXX" beside target with the target's permission bits
// (the mode is set again after the umask has taken its share). The
// descriptor, or -1 with errno.
int make_temporary(const char *target, mode_t mode, bool existing, char (&temporary)[PATH_MAX])
{
    const std::size_t dir = directory_length(target);
    const char *name = target + dir;
    const std::size_t nameLength = std::strlen(name);
    if (nameLength == 0 || !put_path(temporary, 0, target, dir) || !put_path(temporary, dir, ".", 1) ||
        !put_path(temporary, dir + 1, name, nameLength) || !put_path(temporary, dir + 1 + nameLength, ".XXXXXX", 7)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    char *suffix = temporary + dir + 1 + nameLength + 1;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        fill_suffix(suffix);
        fd = g_makeTemporary.load()(temporary, kNewFileMode);
        if (fd < 0 && errno != EEXIST) return -1;
    }
    if (fd < 0) return -1;
    if (existing && fchmod(fd, mode) != 0) {
        const int why = errno;
        close(fd);
        unlink(temporary);
        errno = why;
        return -1;
    }
    return fd;
}

FileWrite failed(CTerror verdict) { return {verdict, errno}; }

// Writes the content into the temporary, then flushes, syncs and closes it.
FileWrite fill_temporary(int fd, ContentWriter write, const void *content)
{
    std::FILE *file = fdopen(fd, "wb");
    if (file == nullptr) {
        FileWrite result = failed(CT_errorNoResource);
        close(fd);
        return result;
    }
    FileWrite result{CT_errorOK, 0};
    std::FILE *stream = g_wrapTemporary.load()(file);
    if (stream == nullptr) result = failed(CT_errorNoResource);
    if (result.verdict == CT_errorOK) {
        const CTerror verdict = write(stream, content);
        if (verdict != CT_errorOK) result = failed(verdict);
    }
    if (stream != nullptr && stream != file && std::fclose(stream) != 0 && result.verdict == CT_errorOK)
        result = failed(CT_errorNoResource);
    // Bytes not yet on the disk could be lost after the rename: sync first.
    if (result.verdict == CT_errorOK && (std::fflush(file) != 0 || fsync(fileno(file)) != 0))
        result = failed(CT_errorNoResource);
    if (std::fclose(file) != 0 && result.verdict == CT_errorOK) result = failed(CT_errorNoResource);
    return result;
}

// The plain write, for targets that cannot be replaced: open "wb" (create or
// truncate), write, close.
FileWrite write_directly(const char *path, ContentWriter write, const void *content)
{
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr) return failed(CT_errorFileOpen);
    FileWrite result{CT_errorOK, 0};
    const CTerror verdict = write(file, content);
    if (verdict != CT_errorOK) result = failed(verdict);
    // A close that fails may have lost buffered bytes: that is a failed write.
    if (std::fclose(file) != 0 && result.verdict == CT_errorOK) result = failed(CT_errorNoResource);
    return result;
}

// Makes the rename itself durable. Best effort: some file systems cannot
// sync a directory, and the file's own bytes are already on the disk.
void sync_directory(const char *target)
{
    char dir[PATH_MAX];
    const std::size_t length = directory_length(target);
    if (length == 0 ? !put_path(dir, 0, ".", 1) : !put_path(dir, 0, target, length)) return;
    const int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

FileWrite replace_file(const char *path, ContentWriter write, const void *content)
{
    if (path == nullptr) return {CT_errorFileOpen, EFAULT};
    char target[PATH_MAX];
    mode_t mode = kNewFileMode;
    bool existing = false;
    if (!resolve_links(path, target) || !replaceable(target, &mode, &existing))
        return write_directly(path, write, content);
    char temporary[PATH_MAX];
    const int fd = make_temporary(target, mode, existing, temporary);
    if (fd < 0) {
        // Out of room: the direct write would truncate the old file and fail
        // too. With no old file there is nothing to lose: the direct open
        // reports that the file cannot be created, or finds room.
        if (existing && (errno == ENOSPC || errno == EDQUOT)) return failed(CT_errorNoResource);
        return write_directly(path, write, content);
    }
    const FileWrite result = fill_temporary(fd, write, content);
    if (result.verdict != CT_errorOK) {
        unlink(temporary);
        return result;
    }
    if (rename(temporary, target) != 0) {
        unlink(temporary);
        return write_directly(path, write, content);
    }
    sync_directory(target);
    return result;
}

namespace test {

void set_replace_seams(const ReplaceSeams &seams)
{
    g_makeTemporary.store(seams.makeTemporary != nullptr ? seams.makeTemporary : &open_new);
    g_wrapTemporary.store(seams.wrapTemporary != nullptr ? seams.wrapTemporary : &unwrapped);
}

void reset_replace_seams() { set_replace_seams(ReplaceSeams{nullptr, nullptr}); }

}  // namespace test
}  // namespace serial
}  // namespace kvs
