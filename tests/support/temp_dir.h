// A private temporary directory, removed with everything in it when the
// object goes.
#ifndef KVSET_TESTS_SUPPORT_TEMP_DIR_H
#define KVSET_TESTS_SUPPORT_TEMP_DIR_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace kvs::test {

class TempDir {
public:
    // A new directory /tmp/<prefix>XXXXXX.
    explicit TempDir(const std::string &prefix)
    {
        std::string pattern = "/tmp/" + prefix + "XXXXXX";
        const char *made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr) << pattern;
        if (made != nullptr) path_ = made;
    }
    ~TempDir()
    {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
        EXPECT_FALSE(ec) << "removing " << path_ << ": " << ec.message();
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace kvs::test

#endif
