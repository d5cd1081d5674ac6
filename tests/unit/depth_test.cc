// The deepest nesting the decoders accept, on a thread with a small stack
// (256 KiB, as service threads often have): a 64-level set decodes, encodes,
// copies, compares, displays, renders and destroys; 65 levels are refused.
// Every recursive path runs once per level, so under AddressSanitizer (larger
// frames) this shows the per-level stack cost stays small.
#include <pthread.h>

#include <functional>
#include <string>

#include "diag_support.h"
#include "kvs_test_fixture.h"
#include "serial_support.h"

namespace {

using serial_test::Builder;
using serial_test::Bytes;

constexpr std::size_t kSmallStack = 256 * 1024;

// `levels` blocks each holding one pair of `type` (61 nested set, or 108 a
// one-element KV-Set array) around an innermost block with one int.
Bytes nesting(std::uint32_t type, int levels)
{
    Builder b;
    for (int i = 0; i < levels; ++i) b.head(1).pair(type, 0x100u + static_cast<CTsymbol>(i), 1).u32(0);
    b.head(1).pair(KV_TYPE_INT, 1, 1).u32(4).u32(64);
    return b.bytes;
}

// Runs f on a new thread with the small stack and waits for it.
void on_small_stack(const std::function<void()> &f)
{
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, kSmallStack), 0);
    pthread_t thread;
    auto body = [](void *arg) -> void * {
        (*static_cast<const std::function<void()> *>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()> *>(&f)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

class Depth : public kvs::test::KvsTest {};

TEST_F(Depth, SixtyFourLevelsWorkOnASmallStackAndSixtyFiveAreRefused)
{
    diagtest::TempWorkDir dir(true);
    for (std::uint32_t type : {KV_TYPE_KVS, KV_TYPE_KVS_ARRAY}) {
        SCOPED_TRACE(type == KV_TYPE_KVS ? "nested sets" : "KV-Set arrays");
        const Bytes deepest = nesting(type, KVS_MAX_NESTING);
        const Bytes tooDeep = nesting(type, KVS_MAX_NESTING + 1);
        const CTkvs decoded = make_set(), fromFile = make_set(), copy = make_set(), refused = make_set();
        const std::uint32_t registered = MRQkvs_GetNumKVS();
        on_small_stack([&] {
            EXPECT_EQ(serial_test::read_memory(decoded, deepest).error, CT_errorOK);
            EXPECT_EQ(serial_test::memory_block(decoded), deepest);
            EXPECT_EQ(serial_test::file_block(decoded), deepest);  // no strings or characters: the same bytes
            EXPECT_EQ(serial_test::read_file(fromFile, deepest).error, CT_errorOK);
            CTerror e = 0;
            EXPECT_EQ(CTkvs_Copy(copy, decoded, &e), CT_statusOK);
            EXPECT_EQ(MRQkvs_Compare(decoded, copy, &e), 0);
            EXPECT_EQ(e, CT_errorOK);
            EXPECT_EQ(MRQkvs_Compare(fromFile, copy, &e), 0);
            MRQkvs_Display(copy);
            wchar_t text[256] = L"";
            MRQKvs_AsText(copy, text, 256, L"");
            EXPECT_NE(text[0], L'\0');
            for (const auto &decode : {serial_test::read_memory, serial_test::read_file}) {
                serial_test::Result r = decode(refused, tooDeep);
                EXPECT_EQ(r.status, CT_statusFail);
                EXPECT_EQ(r.error, CT_errorBadFormat);
            }
            EXPECT_EQ(MRQkvs_GetNumPairs(refused), 0);
            EXPECT_EQ(CTkvs_Destroy(decoded, &e), CT_statusOK);
            EXPECT_EQ(CTkvs_Destroy(fromFile, &e), CT_statusOK);
            EXPECT_EQ(CTkvs_Destroy(copy, &e), CT_statusOK);
        });
        // Each level's set was registered; destroying the outermost released them all.
        EXPECT_EQ(MRQkvs_GetNumKVS(), registered - 3);
        const std::string log = dir.Log();
        EXPECT_EQ(log.find("Invalid KV-Set"), std::string::npos);
        EXPECT_NE(log.find("No. of nodes = 1"), std::string::npos);
    }
}

}  // namespace
