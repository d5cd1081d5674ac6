// A rewrite killed at random points, two processes rewriting one file at
// once, and a rewrite on a full disk: the file always holds one whole block,
// the one it held before or the one being written, never a cut or a mix.
// The writers are the rewrite driver, run as separate processes.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kvset/inspect.h"
#include "rewrite_sets.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kTargetName = "target.kvs";

// The file block of rewrite set `which`.
std::string block_of(int which)
{
    const CTkvs set = rewrite::make_set(which);
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_TRUE(kvset::writeBlock(set, kvset::BlockFormat::File, &bytes, &error)) << error;
    CTerror e = 0;
    CTkvs_Destroy(set, &e);
    return std::string(bytes.begin(), bytes.end());
}

std::string contents(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Which of the blocks the bytes are, or -1.
int which_block(const std::string &bytes, const std::vector<std::string> &blocks)
{
    for (std::size_t i = 0; i < blocks.size(); ++i)
        if (bytes == blocks[i]) return static_cast<int>(i);
    return -1;
}

// The file reads back through the library as a whole block.
bool reads_back(const fs::path &p)
{
    CTkvs set = 0;
    CTerror e = 0;
    CTkvs_Create(&set, &e);
    const std::string name = p.string();
    const bool ok = CTkvs_ReadFile(set, std::wstring(name.begin(), name.end()).c_str(), 0, &e) == CT_statusOK;
    CTkvs_Destroy(set, &e);
    return ok;
}

pid_t start_driver(const fs::path &target, int first, int second, long rounds)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string a = std::to_string(first), b = std::to_string(second), n = std::to_string(rounds);
        execl(KVSET_REWRITE_DRIVER, KVSET_REWRITE_DRIVER, target.c_str(), a.c_str(), b.c_str(), n.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// The driver's exit code, or 128 + the signal that ended it.
int wait_for(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class Rewrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvset_crash_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        target_ = dir_ / kTargetName;
    }
    void TearDown() override
    {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Temporaries that killed writers left beside the target; anything else
    // in the directory but the target and `other` fails the test.
    int temporaries_left(const std::string &other = "") const
    {
        int left = 0;
        const std::string prefix = std::string(".") + kTargetName + ".";
        for (const auto &entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name == kTargetName || name == other) continue;
            EXPECT_EQ(name.rfind(prefix, 0), 0u) << "unexpected file " << name;
            EXPECT_EQ(name.size(), prefix.size() + 6) << "unexpected file " << name;
            ++left;
        }
        return left;
    }

    fs::path dir_;
    fs::path target_;
    bool mounted_ = false;
};

TEST_F(Rewrite, AKilledWriterLeavesTheOldOrTheNewBlock)
{
    constexpr int kKills = 50;
    const std::vector<std::string> blocks = {block_of(0), block_of(1)};
    ASSERT_EQ(wait_for(start_driver(target_, 0, 1, 1)), 0);
    ASSERT_EQ(contents(target_), blocks[0]);

    // Kill delays spread over the time a driver takes to start and write five
    // times (measured here, so that slow builds get longer delays).
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(wait_for(start_driver(target_, 0, 1, 5)), 0);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(0, span.count());
    SCOPED_TRACE("seed " + std::to_string(seed));

    int kept = 0, replaced = 0, broken = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        // After a kill that broke the file (counted below), start again from a whole block.
        if (which_block(contents(target_), blocks) == -1) {
            ASSERT_EQ(wait_for(start_driver(target_, 0, 1, 1)), 0);
        }
        const int before = which_block(contents(target_), blocks);
        const pid_t pid = start_driver(target_, 1 - before, before, 0);  // writes the other block first
        ASSERT_GT(pid, 0);
        const long waited = delay(random);
        std::this_thread::sleep_for(std::chrono::microseconds(waited));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(wait_for(pid), 128 + SIGKILL) << "the driver ended before it was killed";
        const std::string left = contents(target_);
        const int after = which_block(left, blocks);
        if (after == before) ++kept;
        else if (after != -1) ++replaced;
        else ++broken;
        EXPECT_NE(after, -1) << "kill " << kill << " after " << waited << " us left " << left.size() << " bytes";
        EXPECT_TRUE(after == -1 || reads_back(target_)) << "kill " << kill;
    }
    const int temporaries = temporaries_left();
    std::cout << kKills << " kills (delays 0 to " << span.count() << " us): " << kept << " left the block before, "
              << replaced << " the other block, " << broken << " anything else; " << temporaries
              << " temporaries left behind\n";
}

TEST_F(Rewrite, TwoWritersAtOnceLeaveOneWholeBlock)
{
    constexpr long kRounds = 100;
    std::vector<std::string> blocks;
    for (int which = 0; which < rewrite::kSets; ++which) blocks.push_back(block_of(which));
    ASSERT_EQ(wait_for(start_driver(target_, 0, 1, 1)), 0);

    const pid_t first = start_driver(target_, 0, 1, kRounds);
    const pid_t second = start_driver(target_, 2, 3, kRounds);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    // Read the file while both write: every read meets one whole block.
    int reads = 0, broken = 0, running = 2;
    int statuses[2] = {-1, -1};
    while (running > 0) {
        ++reads;
        const std::string seen = contents(target_);
        if (which_block(seen, blocks) == -1 && ++broken <= 3)
            ADD_FAILURE() << "read " << reads << " met " << seen.size() << " bytes that are no whole block";
        int status = 0;
        const pid_t ended = waitpid(-1, &status, WNOHANG);
        if (ended == first || ended == second) {
            statuses[ended == first ? 0 : 1] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            --running;
        }
    }
    EXPECT_EQ(statuses[0], 0) << "the first writer failed";
    EXPECT_EQ(statuses[1], 0) << "the second writer failed";
    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
    EXPECT_NE(which_block(contents(target_), blocks), -1);
    EXPECT_EQ(temporaries_left(), 0);
    std::cout << reads << " reads during two writers' " << kRounds << " rewrites each: " << broken
              << " met anything but a whole block\n";
}

// The disk fills up before the rewrite: a tmpfs of 128 KiB mounted in a
// private mount namespace, holding the old block and a file that takes the
// rest. Needs the right to mount; elsewhere the unit tests' scripted ENOSPC
// failures stand for a full disk.
TEST_F(Rewrite, OnAFullDiskTheOldFileStays)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no private mount namespace here: " << std::strerror(errno);
    if (mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=128k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    mounted_ = true;

    const std::string oldBlock = block_of(0), newBlock = block_of(3);
    ASSERT_GT(newBlock.size(), oldBlock.size());  // so truncating the old one would not make room
    ASSERT_EQ(wait_for(start_driver(target_, 0, 1, 1)), 0);
    {
        std::ofstream filler(dir_ / "filler", std::ios::binary);
        const std::string chunk(1024, 'x');
        while (filler.write(chunk.data(), static_cast<std::streamsize>(chunk.size())) && filler.flush()) {
        }
    }
    const CTkvs set = rewrite::make_set(3);
    const std::string name = target_.string();
    const std::wstring wide(name.begin(), name.end());
    CTerror e = 0;
    EXPECT_EQ(CTkvs_WriteFile(set, wide.c_str(), 0, &e), CT_statusFail);
    EXPECT_EQ(e, CT_errorNoResource);
    const std::string left = contents(target_);
    EXPECT_EQ(left, oldBlock) << "the rewrite left " << left.size() << " bytes";
    EXPECT_EQ(temporaries_left("filler"), 0);
    std::cout << "a full disk: the rewrite of " << newBlock.size() << " bytes failed and left " << left.size()
              << " bytes, " << (left == oldBlock ? "the old block" : "not the old block") << "\n";

    // With room again, the same rewrite goes through.
    fs::remove(dir_ / "filler");
    EXPECT_EQ(CTkvs_WriteFile(set, wide.c_str(), 0, &e), CT_statusOK);
    EXPECT_EQ(contents(target_), newBlock);
    CTkvs_Destroy(set, &e);
}

}  // namespace
