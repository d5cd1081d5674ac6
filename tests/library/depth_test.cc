// The deepest nesting a set may hold, on a thread with a small stack
// (256 KiB, as service threads often have): a 64-level set, decoded or built
// by puts, decodes, encodes, copies, compares, displays, renders, converts to
// JSON and back, diffs and destroys; 65 levels are refused by the readers and
// by every put and copy, whichever set they write into. Every recursive path
// runs once per level, so under AddressSanitizer (larger frames) this shows
// the per-level stack cost stays small.
#include <pthread.h>

#include <functional>
#include <string>

#include "diag/diag_support.h"
#include "kvset/inspect.h"
#include "support/blocks.h"
#include "support/fixture.h"

namespace {

using kvs::test::Builder;
using kvs::test::Bytes;

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

// A chain built by puts: `levels` sets nested in one another under key 1
// around an innermost set holding one int.
CTkvs chain(int levels)
{
    CTerror e = 0;
    CTkvs current = 0;
    CTkvs_Create(&current, &e);
    CTkvs_PutInt(current, 2, 64, &e);
    for (int i = 0; i < levels; ++i) {
        CTkvs outer = 0;
        CTkvs_Create(&outer, &e);
        EXPECT_EQ(CTkvs_PutKVS(outer, 1, current, &e), CT_statusOK) << "level " << i;
        CTkvs_Destroy(current, &e);
        current = outer;
    }
    return current;
}

// The set `levels` steps down key 1 of kvs, as lent by the gets.
CTkvs lent_below(CTkvs kvs, int levels)
{
    CTerror e = 0;
    for (int i = 0; i < levels; ++i) EXPECT_EQ(CTkvs_GetKVS(kvs, 1, &kvs, &e), CT_statusOK);
    return kvs;
}

class Depth : public kvs::test::KvsTest {};

TEST_F(Depth, EveryOperationHandlesTheDeepestChainBuiltByPutsOnASmallStack)
{
    diagtest::TempWorkDir dir(true);
    const std::uint32_t registered = MRQkvs_GetNumKVS();
    on_small_stack([&] {
        const CTkvs below = chain(KVS_MAX_NESTING - 1);
        CTkvs deepest = make_set(), copy = make_set();
        CTerror e = 0;
        EXPECT_EQ(CTkvs_PutKVS(deepest, 1, below, &e), CT_statusOK);
        EXPECT_EQ(CTkvs_Copy(copy, deepest, &e), CT_statusOK);
        EXPECT_EQ(CTkvs_Copy(copy, lent_below(copy, 1), &e), CT_statusOK);  // a copy from its own nested set
        EXPECT_EQ(CTkvs_Copy(copy, deepest, &e), CT_statusOK);
        std::uint32_t same = 0;
        EXPECT_EQ(CTkvs_Match(deepest, copy, &same, &e), CT_statusOK);
        EXPECT_EQ(same, 1u);
        EXPECT_EQ(MRQkvs_Compare(deepest, copy, &e), 0);
        MRQkvs_Display(copy);
        wchar_t text[256] = L"";
        MRQKvs_AsText(copy, text, 256, L"");
        EXPECT_NE(text[0], L'\0');
        for (const auto &v : kvs::test::kVariants) {
            CTkvs back = make_set();
            EXPECT_EQ(v.decode(back, v.encode(deepest)).error, CT_errorOK) << v.name;
            EXPECT_EQ(MRQkvs_Compare(deepest, back, &e), 0) << v.name;
            EXPECT_EQ(CTkvs_Destroy(back, &e), CT_statusOK);
        }
        std::string json, tree, error;
        CTkvs fromJson = 0;
        EXPECT_TRUE(kvset::toJson(deepest, &json, &error)) << error;
        EXPECT_TRUE(kvset::fromJson(json, &fromJson, &error)) << error;
        EXPECT_EQ(MRQkvs_Compare(deepest, fromJson, &e), 0);
        EXPECT_TRUE(kvset::renderTree(deepest, &tree, &error)) << error;
        EXPECT_NE(tree.find("0x00000002 (CTint): 64"), std::string::npos);
        EXPECT_EQ(CTkvs_PutInt(lent_below(fromJson, KVS_MAX_NESTING), 2, 65, &e), CT_statusOK);
        std::vector<kvset::Difference> differences;
        EXPECT_TRUE(kvset::diff(deepest, fromJson, &differences, &error)) << error;
        EXPECT_EQ(differences.size(), 1u);
        for (CTkvs h : {below, deepest, copy, fromJson}) EXPECT_EQ(CTkvs_Destroy(h, &e), CT_statusOK);
    });
    EXPECT_EQ(MRQkvs_GetNumKVS(), registered);
    EXPECT_NE(dir.Log().find("No. of nodes = 1"), std::string::npos);
}

TEST_F(Depth, PutsAndCopiesRefuseToNestDeeperThanTheLimit)
{
    const CTkvs deepest = chain(KVS_MAX_NESTING);       // holds 64 levels: may not go below anything
    const CTkvs oneShort = chain(KVS_MAX_NESTING - 1);  // fits below a set the caller holds, not below a nested one
    const CTkvs flat = make_set();
    const CTkvs holder = make_set();
    CTerror e = 0;
    ASSERT_EQ(CTkvs_PutInt(flat, 3, 3, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_PutKVS(holder, 1, flat, &e), CT_statusOK);
    const CTkvs lent = lent_below(holder, 1);
    const CTkvs bottom = lent_below(deepest, KVS_MAX_NESTING);

    struct Case {
        const char *name;
        CTkvs target;
        std::function<CTstatus(CTerror *)> call;
    };
    const Case cases[] = {
        {"PutKVS of the deepest", flat, [&](CTerror *err) { return CTkvs_PutKVS(flat, 9, deepest, err); }},
        {"PutKVSArray of the deepest",
         flat,
         [&](CTerror *err) {
             const CTkvs elements[] = {oneShort, deepest};
             return CTkvs_PutKVSArray(flat, 9, elements, 2, err);
         }},
        {"the deepest into itself", deepest, [&](CTerror *err) { return CTkvs_PutKVS(deepest, 9, deepest, err); }},
        {"PutKVS into a lent nested set", lent, [&](CTerror *err) { return CTkvs_PutKVS(lent, 9, oneShort, err); }},
        {"Copy into a lent nested set", lent, [&](CTerror *err) { return CTkvs_Copy(lent, deepest, err); }},
        {"PutKVS at the bottom of the deepest", bottom, [&](CTerror *err) { return CTkvs_PutKVS(bottom, 9, flat, err); }},
    };
    const std::uint32_t registered = MRQkvs_GetNumKVS();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::int32_t pairs = MRQkvs_GetNumPairs(c.target);
        e = 0;
        EXPECT_EQ(c.call(&e), CT_statusFail);
        EXPECT_EQ(e, CT_errorBadParameter);
        EXPECT_EQ(MRQkvs_GetNumPairs(c.target), pairs);
        EXPECT_EQ(MRQkvs_GetNumKVS(), registered);
    }
    // What fits still goes in: the one-short chain below a set the caller
    // holds, and plain values at the bottom of the deepest.
    EXPECT_EQ(CTkvs_PutKVS(flat, 9, oneShort, &e), CT_statusOK);
    EXPECT_EQ(CTkvs_PutInt(bottom, 9, 9, &e), CT_statusOK);

    // A reader refuses, into a lent nested set, a block that would nest too deep.
    const kvs::test::Bytes block = kvs::test::memory_block(deepest);
    const std::int32_t pairs = MRQkvs_GetNumPairs(lent);
    EXPECT_EQ(kvs::test::read_memory(lent, block).error, CT_errorBadFormat);
    EXPECT_EQ(kvs::test::read_file(lent, block).error, CT_errorBadFormat);
    EXPECT_EQ(MRQkvs_GetNumPairs(lent), pairs);
    EXPECT_EQ(kvs::test::read_memory(flat, block).error, CT_errorOK);
    for (CTkvs h : {deepest, oneShort, flat, holder}) EXPECT_EQ(CTkvs_Destroy(h, &e), CT_statusOK);
}

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
            EXPECT_EQ(kvs::test::read_memory(decoded, deepest).error, CT_errorOK);
            EXPECT_EQ(kvs::test::memory_block(decoded), deepest);
            EXPECT_EQ(kvs::test::file_block(decoded), deepest);  // no strings or characters: the same bytes
            EXPECT_EQ(kvs::test::read_file(fromFile, deepest).error, CT_errorOK);
            CTerror e = 0;
            EXPECT_EQ(CTkvs_Copy(copy, decoded, &e), CT_statusOK);
            EXPECT_EQ(MRQkvs_Compare(decoded, copy, &e), 0);
            EXPECT_EQ(e, CT_errorOK);
            EXPECT_EQ(MRQkvs_Compare(fromFile, copy, &e), 0);
            MRQkvs_Display(copy);
            wchar_t text[256] = L"";
            MRQKvs_AsText(copy, text, 256, L"");
            EXPECT_NE(text[0], L'\0');
            for (const auto &decode : {kvs::test::read_memory, kvs::test::read_file}) {
                kvs::test::Result r = decode(refused, tooDeep);
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
