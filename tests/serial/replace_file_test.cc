// Rewriting a named file replaces it whole, through each writer of the
// library (CTkvs_WriteFile, KVSet::write, kvset::writeFile): a write that
// fails at any point, or a set the writer refuses half-way, leaves the
// previous file byte for byte and no temporary behind, with the answer the
// writer always gave. Links, permission bits, special files and directories
// where no temporary can be made keep their behaviour.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "kvset/KVSet.h"
#include "kvset/inspect.h"
#include "kvset/kvset_support.h"
#include "serial/replace_file_internal.h"
#include "support/every_type.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace seams = kvs::serial::test;

std::string hex(std::uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

// A writer of the library, seen from its caller. write answers "" on
// success, otherwise a line saying what it answered; failure gives the line
// it answers for a failure with this symbol and errno.
struct Writer {
    const char *name;
    std::string (*write)(const std::string &path, CTkvs set);
    std::string (*failure)(const std::string &path, CTerror symbol, int osError);
    bool takesSets;  // false: it takes bytes, so a set is refused before the file is touched
};

std::string c_answer(CTstatus status, CTerror error) { return "status " + std::to_string(status) + ", " + hex(error); }

std::string object_answer(const objtest::Caught &c)
{
    if (!c.thrown) return "";
    return (c.arguments.empty() ? std::string("?") : objtest::narrow(c.arguments[0])) + " " + hex(c.code);
}

const Writer kWriters[] = {
    {"CTkvs_WriteFile",
     [](const std::string &path, CTkvs set) {
         CTerror e = 0;
         const CTstatus s = CTkvs_WriteFile(set, std::wstring(path.begin(), path.end()).c_str(), 0, &e);
         return s == CT_statusOK && e == CT_errorOK ? std::string() : c_answer(s, e);
     },
     [](const std::string &, CTerror symbol, int) { return c_answer(CT_statusFail, symbol); }, true},
    {"KVSet::write",
     [](const std::string &path, CTkvs set) {
         KVSet object(set, false);
         return object_answer(objtest::capture([&] { object.write(path.c_str()); }));
     },
     [](const std::string &, CTerror symbol, int) { return "WRITE " + hex(symbol); }, true},
    {"kvset::writeFile",
     [](const std::string &path, CTkvs set) {
         std::vector<unsigned char> bytes;
         std::string error;
         if (!kvset::writeBlock(set, kvset::BlockFormat::File, &bytes, &error)) return "encoding: " + error;
         return kvset::writeFile(path, bytes.data(), bytes.size(), &error) ? std::string() : error;
     },
     [](const std::string &path, CTerror, int osError) {
         return "cannot write '" + path + "': " + std::strerror(osError);
     },
     false},
};

// The temporary's stream wrapped by a cookie stream whose Nth write fails
// with ENOSPC, as a full disk would; the others go on to the temporary.
struct ScriptedFailure {
    std::uint64_t failAt = 0;  // 1-based; 0: never
    std::uint64_t calls = 0;
    bool buffered = false;
    std::FILE *temporary = nullptr;
};
ScriptedFailure g_script;

ssize_t scripted_write(void *cookie, const char *bytes, std::size_t n)
{
    auto *s = static_cast<ScriptedFailure *>(cookie);
    // A cookie write reports a failure by writing nothing (a negative count
    // misleads stdio into going on past it).
    if (++s->calls == s->failAt) {
        errno = ENOSPC;
        return 0;
    }
    return static_cast<ssize_t>(std::fwrite(bytes, 1, n, s->temporary));
}

std::FILE *wrap_with_script(std::FILE *temporary)
{
    g_script.temporary = temporary;
    cookie_io_functions_t io{nullptr, &scripted_write, nullptr, nullptr};
    std::FILE *stream = fopencookie(&g_script, "wb", io);
    if (stream != nullptr && !g_script.buffered) std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

int refuse_temporary(const char *, mode_t)
{
    errno = EACCES;
    return -1;
}

std::string contents(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ino_t inode(const fs::path &p)
{
    struct stat info;
    return stat(p.c_str(), &info) == 0 ? info.st_ino : 0;
}

mode_t permissions(const fs::path &p)
{
    struct stat info;
    return stat(p.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class Rewrites : public kvs::test::KvsTest {
protected:
    void SetUp() override
    {
        KvsTest::SetUp();
        target_ = dir_ / "set.kvs";
        old_ = owned_copy(kvs::test::every_type(true));
        fresh_ = owned_copy(kvs::test::every_type(false));
        CTerror e = 0;
        CTkvs_PutString(fresh_, 0x7000, L"only in the new set", &e);
    }
    void TearDown() override
    {
        seams::reset_replace_seams();
        KvsTest::TearDown();
    }

    // A fixture set holding a copy of `made`, which is destroyed.
    CTkvs owned_copy(CTkvs made)
    {
        CTkvs h = make_set();
        CTerror e = 0;
        EXPECT_EQ(CTkvs_Copy(h, made, &e), CT_statusOK);
        CTkvs_Destroy(made, &e);
        return h;
    }

    // The file block a set encodes to.
    static std::string block_of(CTkvs set)
    {
        std::vector<unsigned char> bytes;
        std::string error;
        EXPECT_TRUE(kvset::writeBlock(set, kvset::BlockFormat::File, &bytes, &error)) << error;
        return std::string(bytes.begin(), bytes.end());
    }

    // The names in a directory: a temporary left behind shows up here.
    static std::set<std::string> entries(const fs::path &dir)
    {
        std::set<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
        return names;
    }

    kvs::test::TempDir scratch_{"kvset_rewrite_"};
    const fs::path dir_ = scratch_.path();
    fs::path target_;
    CTkvs old_ = 0;
    CTkvs fresh_ = 0;
};

TEST_F(Rewrites, AFailureAtEveryWriteLeavesTheOldFileAndNoTemporary)
{
    const std::string oldBlock = block_of(old_);
    const std::string newBlock = block_of(fresh_);
    ASSERT_NE(oldBlock, newBlock);
    for (const Writer &writer : kWriters) {
        for (bool buffered : {false, true}) {
            const std::string shape = std::string(writer.name) + (buffered ? ", buffered" : ", unbuffered");
            ASSERT_EQ(writer.write(target_.string(), old_), "") << shape;
            ASSERT_EQ(contents(target_), oldBlock) << shape;
            for (std::uint64_t n = 1;; ++n) {
                ASSERT_LT(n, 100000u) << shape << ": the rewrite never succeeds";
                const std::string where = shape + ", write " + std::to_string(n) + " fails";
                g_script = ScriptedFailure{n, 0, buffered, nullptr};
                seams::set_replace_seams({nullptr, &wrap_with_script});
                const std::string answer = writer.write(target_.string(), fresh_);
                seams::reset_replace_seams();
                EXPECT_EQ(entries(dir_), std::set<std::string>{"set.kvs"}) << where;
                if (g_script.calls < n) {  // every write went through: the rewrite is done
                    EXPECT_GT(n, 1u) << shape << ": no write was made";
                    EXPECT_EQ(answer, "") << where;
                    EXPECT_EQ(contents(target_), newBlock) << where;
                    break;
                }
                EXPECT_EQ(answer, writer.failure(target_.string(), CT_errorNoResource, ENOSPC)) << where;
                ASSERT_EQ(contents(target_), oldBlock) << where;
            }
        }
    }
}

// Sets the file writer refuses half-way, after more than a stdio buffer of
// output: one nesting deeper than KVS_MAX_NESTING (when the puts still build
// it), and one holding a nested set its caller destroyed through the handle
// CTkvs_GetKVS lent.
TEST_F(Rewrites, ASetRefusedHalfWayLeavesTheOldFile)
{
    struct Refused {
        const char *name;
        std::function<CTkvs(CTkvs)> build;  // adds the refused part; 0 when it cannot be built
        CTerror symbol;
        bool optional;  // the puts may refuse to build it: then the writer never meets it
    };
    const Refused cases[] = {
        {"nested one level too deep",
         [this](CTkvs set) -> CTkvs {
             CTerror e = 0;
             CTkvs chain = make_set();
             CTkvs_PutInt(chain, 1, 1, &e);
             for (int level = 0; level < KVS_MAX_NESTING; ++level) {
                 CTkvs outer = make_set();
                 if (CTkvs_PutKVS(outer, 2, chain, &e) != CT_statusOK) return 0;
                 chain = outer;
             }
             return CTkvs_PutKVS(set, 0x7001, chain, &e) == CT_statusOK ? set : 0;
         },
         CT_errorNoResource, true},
        {"a nested set destroyed by its caller",
         [this](CTkvs set) -> CTkvs {
             CTerror e = 0;
             CTkvs inner = make_set(), lent = 0;
             CTkvs_PutInt(inner, 1, 1, &e);
             CTkvs_PutKVS(set, 0x7001, inner, &e);
             if (CTkvs_GetKVS(set, 0x7001, &lent, &e) != CT_statusOK) return 0;
             CTkvs_Destroy(lent, &e);
             return set;
         },
         CT_errorInvalidKVSet, false},
    };
    const std::string oldBlock = block_of(old_);
    for (const Refused &c : cases) {
        CTkvs refused = make_set();
        CTerror e = 0;
        for (CTsymbol key = 1; key <= 400; ++key) CTkvs_PutString(refused, key, L"before the refused pair", &e);
        if (c.build(refused) == 0) {
            if (!c.optional) ADD_FAILURE() << c.name << ": cannot be built any more";
            continue;
        }
        for (const Writer &writer : kWriters) {
            if (!writer.takesSets) continue;
            const std::string where = std::string(c.name) + ", " + writer.name;
            ASSERT_EQ(writer.write(target_.string(), old_), "") << where;
            EXPECT_EQ(writer.write(target_.string(), refused), writer.failure(target_.string(), c.symbol, 0)) << where;
            EXPECT_EQ(contents(target_), oldBlock) << where;
            EXPECT_EQ(entries(dir_), std::set<std::string>{"set.kvs"}) << where;
        }
    }
}

// What each kind of target becomes. A replaced file is a new inode with the
// old one's permission bits; a file written directly keeps its inode.
TEST_F(Rewrites, LinksPermissionsAndSpecialFilesKeepTheirBehaviour)
{
    const std::string newBlock = block_of(fresh_);
    struct Target {
        const char *name;
        // Makes the target and returns the path to write.
        std::function<fs::path()> make;
        // Checks what the write left, given the inode before it.
        std::function<void(const fs::path &written, ino_t before)> check;
    };
    const fs::path real = dir_ / "real";
    const mode_t umaskBefore = umask(022);
    umask(umaskBefore);
    auto write_old = [&](const fs::path &p) { std::ofstream(p, std::ios::binary) << "the previous content"; };
    const Target targets[] = {
        {"a file with permission bits 0640",
         [&] {
             write_old(target_);
             fs::permissions(target_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
             return target_;
         },
         [&](const fs::path &p, ino_t before) {
             EXPECT_NE(inode(p), before) << "not replaced";
             EXPECT_EQ(permissions(p), 0640u);
             EXPECT_EQ(contents(p), newBlock);
         }},
        {"a new file under umask 027",
         [&] {
             umask(027);
             return target_;
         },
         [&](const fs::path &p, ino_t) {
             umask(umaskBefore);
             EXPECT_EQ(permissions(p), 0640u);  // 0666 less the umask, as fopen gives
             EXPECT_EQ(contents(p), newBlock);
         }},
        {"a relative symbolic link to a file in another directory",
         [&] {
             fs::create_directory(real);
             write_old(real / "target.kvs");
             fs::permissions(real / "target.kvs", fs::perms::owner_read | fs::perms::owner_write);
             fs::create_symlink("real/target.kvs", dir_ / "link.kvs");
             return dir_ / "link.kvs";
         },
         [&](const fs::path &p, ino_t before) {
             EXPECT_TRUE(fs::is_symlink(p));
             EXPECT_EQ(fs::read_symlink(p), "real/target.kvs");
             EXPECT_NE(inode(real / "target.kvs"), before) << "not replaced";
             EXPECT_EQ(permissions(real / "target.kvs"), 0600u);
             EXPECT_EQ(contents(real / "target.kvs"), newBlock);
             EXPECT_EQ(entries(real), std::set<std::string>{"target.kvs"});
         }},
        {"a link to a link to a file not there yet",
         [&] {
             fs::create_directory(real);
             fs::create_symlink(real / "target.kvs", dir_ / "inner.kvs");
             fs::create_symlink("inner.kvs", dir_ / "link.kvs");
             return dir_ / "link.kvs";
         },
         [&](const fs::path &p, ino_t) {
             EXPECT_TRUE(fs::is_symlink(p));
             EXPECT_TRUE(fs::is_symlink(dir_ / "inner.kvs"));
             EXPECT_EQ(contents(real / "target.kvs"), newBlock);
             EXPECT_EQ(entries(real), std::set<std::string>{"target.kvs"});
         }},
        {"a FIFO",
         [&] {
             EXPECT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
             return dir_ / "fifo";
         },
         [&](const fs::path &p, ino_t before) {
             EXPECT_TRUE(fs::is_fifo(p));
             EXPECT_EQ(inode(p), before);
         }},
        {"/dev/null", [&] { return fs::path("/dev/null"); },
         [&](const fs::path &p, ino_t before) {
             EXPECT_TRUE(fs::is_character_file(p));
             EXPECT_EQ(inode(p), before);
         }},
        {"a writable file in a directory where no temporary can be made",
         [&] {
             write_old(target_);
             fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
             // Permissions do not stop a privileged user: refuse the temporary instead.
             if (access(dir_.c_str(), W_OK) == 0) seams::set_replace_seams({&refuse_temporary, nullptr});
             return target_;
         },
         [&](const fs::path &p, ino_t before) {
             fs::permissions(dir_, fs::perms::owner_all);
             EXPECT_EQ(inode(p), before) << "written directly";
             EXPECT_EQ(contents(p), newBlock);
         }},
    };
    for (const Writer &writer : kWriters) {
        for (const Target &t : targets) {
            SCOPED_TRACE(std::string(writer.name) + ", " + t.name);
            const fs::path written = t.make();
            const ino_t before = inode(written);
            // A reader already on the FIFO takes the block (it fits in the pipe).
            const int fifo = fs::is_fifo(written) ? open(written.c_str(), O_RDONLY | O_NONBLOCK) : -1;
            EXPECT_EQ(writer.write(written.string(), fresh_), "");
            seams::reset_replace_seams();
            t.check(written, before);
            if (fifo >= 0) {
                std::string got(newBlock.size() + 1, '\0');
                EXPECT_EQ(read(fifo, &got[0], got.size()), static_cast<ssize_t>(newBlock.size()));
                got.resize(newBlock.size());
                EXPECT_EQ(got, newBlock);
                close(fifo);
            }
            for (const auto &entry : fs::directory_iterator(dir_)) {
                EXPECT_NE(entry.path().filename().string()[0], '.') << "a temporary stayed: " << entry.path();
                fs::remove_all(entry.path());
            }
        }
    }
}

}  // namespace
