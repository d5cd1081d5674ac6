// KVSet::read and KVSet::write: round trips through a file, and what each
// failure throws and leaves behind.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kvset/KVSet.h"
#include "kvset_support.h"
#include "support/temp_dir.h"

namespace {

using objtest::capture;
using objtest::expect_thrown;

namespace fs = std::filesystem;

unsigned long handle_of(const KVSet &k) { return k; }

bool alive(unsigned long handle) { return ValidateKVS(static_cast<CTkvs>(handle)) == CT_errorOK; }

bool same_content(unsigned long a, unsigned long b)
{
    uint32_t result = 0;
    CTerror e = 0;
    return CTkvs_Match(static_cast<CTkvs>(a), static_cast<CTkvs>(b), &result, &e) == CT_statusOK && result == 1;
}

std::string bytes_of(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put_bytes(const fs::path &p, const std::string &bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fixture with a private temporary directory and a KV-Set of several types.
class KVSetFileTest : public kvs::test::KvsTest {
protected:
    void SetUp() override
    {
        KvsTest::SetUp();
        sample_.create();
        sample_.putInt(1, -7);
        sample_.putString(2, std::wstring(L"caf\u00E9 \U0001F600"));
        sample_.putBool(3, true);
        KVSet inner;
        inner.create();
        inner.putSymbol(1, CT_errorNoSuchKey);
        sample_.putKVS(4, handle_of(inner));
        sample_.createArray(5, 2);
        KVSet(sample_.getArrayKVSetElement(5, 1), false).putInt(9, 99);
    }
    void TearDown() override
    {
        sample_ = KVSet();
        KvsTest::TearDown();
    }
    std::string path(const char *name) const { return (dir_ / name).string(); }

    kvs::test::TempDir scratch_{"kvset_objects_"};
    const fs::path dir_ = scratch_.path();
    KVSet sample_;
};

TEST_F(KVSetFileTest, WrittenKVSetReadsBackIntoANewOwnedSet)
{
    sample_.write(path("a.kvs").c_str());

    KVSet target;
    const unsigned long old = target.create();
    target.putInt(100, 1);
    target.read(path("a.kvs").c_str());
    EXPECT_FALSE(alive(old)) << "the held KV-Set is replaced";
    EXPECT_NE(handle_of(target), old);
    EXPECT_TRUE(same_content(handle_of(target), handle_of(sample_)));
    EXPECT_EQ(target.getString(2), L"caf\u00E9 \U0001F600");
    EXPECT_EQ(KVSet(target.getArrayKVSetElement(5, 1), false).getInt(9), 99);

    // Writing again truncates: the file holds the new, smaller set only.
    KVSet small;
    small.create();
    small.putInt(1, 1);
    small.write(path("a.kvs").c_str());
    target.read(path("a.kvs").c_str());
    EXPECT_TRUE(same_content(handle_of(target), handle_of(small)));

    // A borrowed KV-Set is replaced too; the object then owns the new one.
    const unsigned long lent = small;  // `small` gives up ownership
    KVSet borrower(lent, false);
    borrower.read(path("a.kvs").c_str());
    EXPECT_FALSE(alive(lent));
    EXPECT_TRUE(alive(handle_of(borrower)));
}

TEST_F(KVSetFileTest, FailedReadsLeaveTheObjectAsItWas)
{
    sample_.write(path("good.kvs").c_str());
    const std::string good = bytes_of(path("good.kvs"));
    put_bytes(path("cut.kvs"), good.substr(0, good.size() / 2));
    put_bytes(path("garbage.kvs"), std::string(64, '\x5A'));

    KVSet nothing;
    expect_thrown(capture([&] { nothing.read(path("good.kvs").c_str()); }), L"DESTROY", 0, 0);

    struct Case {
        const char *file;
        unsigned int code;
    };
    const Case cases[] = {
        {"missing.kvs", 0},
        {"cut.kvs", CT_errorBadFormat},
        {"garbage.kvs", CT_errorBadHeader},
    };
    KVSet target;
    const unsigned long held = target.create();
    target.putInt(100, 1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const auto thrown = capture([&] { target.read(path(c.file).c_str()); });
        expect_thrown(thrown, L"READ", 0, c.code);
        EXPECT_EQ(handle_of(target), held);
        EXPECT_EQ(target.getInt(100), 1);
        EXPECT_EQ(MRQkvs_GetNumPairs(static_cast<CTkvs>(held)), 1);
    }
    expect_thrown(capture([&] { target.read(nullptr); }), L"READ", 0, 0);

    const CTkvs gone = static_cast<CTkvs>(target);  // hand the set over, then destroy it elsewhere
    CTerror e = 0;
    CTkvs_Destroy(gone, &e);
    expect_thrown(capture([&] { target.read(path("good.kvs").c_str()); }), L"DESTROY", 0, CT_errorInvalidKVSet);
}

TEST_F(KVSetFileTest, FailedWritesAreReported)
{
    expect_thrown(capture([&] { sample_.write(path("no/such/dir/a.kvs").c_str()); }), L"WRITE", 0, 0);
    expect_thrown(capture([&] { sample_.write(nullptr); }), L"WRITE", 0, 0);

    // A set that cannot be written does not truncate the file first.
    put_bytes(path("keep.kvs"), "precious");
    KVSet nothing;
    expect_thrown(capture([&] { nothing.write(path("keep.kvs").c_str()); }), L"WRITE", 0, CT_errorInvalidKVSet);
    EXPECT_EQ(bytes_of(path("keep.kvs")), "precious");

    // A device that accepts the open but not the bytes.
    if (fs::exists("/dev/full"))
        expect_thrown(capture([&] { sample_.write("/dev/full"); }), L"WRITE", 0, CT_errorNoResource);
}

}  // namespace
