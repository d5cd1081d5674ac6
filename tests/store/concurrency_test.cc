// Threads on the store and the registry, run under ThreadSanitizer in CI
// (its filter is '*Concurren*'). Workers create, fill, read, walk, copy,
// encode, decode and destroy sets while other threads look up stale and
// never-issued handles, count the registry and list the newest handles.
// Every answer is checked; failures are counted, not asserted, so that no
// thread stops half-way.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "kvset/ctkvs.h"
#include "serial/block_io.h"
#include "store/registry_internal.h"
#include "support/fixture.h"

namespace kvs::test {
namespace {

using Concurrency = KvsTest;

// One answer of MRQkvs_GetNewestKVSets is one snapshot: strictly descending
// handles, then zeros. The number of answers that break this (0 or 1).
template <std::size_t N>
int newest_out_of_order(CTkvs (&newest)[N])
{
    MRQkvs_GetNewestKVSets(newest, N);
    for (std::size_t k = 1; k < N; ++k)
        if (newest[k] != 0 && newest[k] >= newest[k - 1]) return 1;
    return 0;
}

constexpr CTkvs kFirstHandle = 0x10000000u;  // far from any handle other tests use
constexpr CTkvs kNeverIssued = 0x30000000u;

// Encodes the set to memory and to a file block, decodes both into new sets
// and compares them with it; every set made here is destroyed again.
bool round_trips(CTkvs set)
{
    bool good = true;
    CTerror e = 0;
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    good &= MRQkvs_WriteToMemory(&buffer, set, &length, &e) == CT_statusOK && length > 12;
    CTkvs fromMemory = 0, fromFile = 0;
    good &= CTkvs_Create(&fromMemory, &e) == CT_statusOK && CTkvs_Create(&fromFile, &e) == CT_statusOK;
    if (buffer != nullptr) good &= MRQkvs_ReadFromMemory(fromMemory, buffer + 8, length - 8, &e) == CT_statusOK;
    MRQkvs_FreeBuffer(buffer);

    char *bytes = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&bytes, &size);
    good &= out != nullptr && WriteKVSBlock(out, set, &e) == CT_statusOK;
    if (out != nullptr) std::fclose(out);
    std::FILE *in = bytes != nullptr ? fmemopen(bytes, size, "rb") : nullptr;
    good &= in != nullptr && ReadKVSBlock(in, fromFile, &e) == CT_statusOK;
    if (in != nullptr) std::fclose(in);
    std::free(bytes);

    good &= MRQkvs_Compare(set, fromMemory, &e) == 0 && MRQkvs_Compare(fromMemory, fromFile, &e) == 0;
    good &= MRQkvs_GetNumPairs(fromFile) == MRQkvs_GetNumPairs(set);
    good &= CTkvs_Destroy(fromMemory, &e) == CT_statusOK && CTkvs_Destroy(fromFile, &e) == CT_statusOK;
    return good;
}

TEST_F(Concurrency, StaleAndNeverIssuedHandlesAreRefusedWhileSetsComeAndGo)
{
    const uint32_t before = MRQkvs_GetNumKVS();
    kvs::test::set_handle_counter(kFirstHandle);
    std::mutex graveyardLock;
    std::vector<CTkvs> graveyard;  // handles whose destroy has completed
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};

    auto worker = [&](int seed) {
        for (int round = 0; round < 400; ++round) {
            CTkvs a = 0, b = 0;
            CTerror e = 0;
            if (CTkvs_Create(&a, &e) != CT_statusOK || CTkvs_Create(&b, &e) != CT_statusOK) {
                ++failures;
                continue;
            }
            for (int i = 0; i < 40; ++i) CTkvs_PutInt(a, static_cast<CTsymbol>(i), seed + i, &e);
            if (CTkvs_PutKVS(b, 1, a, &e) != CT_statusOK || CTkvs_Copy(b, a, &e) != CT_statusOK) ++failures;
            int32_t v = 0;
            if (CTkvs_GetInt(b, 7, &v, &e) != CT_statusOK || v != seed + 7) ++failures;
            if (!round_trips(b)) ++failures;
            if (CTkvs_Destroy(a, &e) != CT_statusOK || CTkvs_Destroy(b, &e) != CT_statusOK) ++failures;
            std::lock_guard<std::mutex> lock(graveyardLock);
            graveyard.push_back(a);
            graveyard.push_back(b);
        }
    };
    auto prober = [&]() {
        uint32_t i = 0;
        while (!stop.load()) {
            CTkvs stale = 0;
            {
                std::lock_guard<std::mutex> lock(graveyardLock);
                if (!graveyard.empty()) stale = graveyard[i % graveyard.size()];
            }
            CTerror e = 0;
            int32_t v = 0;
            if (stale != 0) {
                if (ValidateKVS(stale) != CT_errorInvalidKVSet) ++failures;
                if (CTkvs_GetInt(stale, 1, &v, &e) != CT_statusFail || e != CT_errorInvalidKVSet) ++failures;
                if (CTkvs_Clear(stale, &e) != CT_statusFail || e != CT_errorNoResource) ++failures;
            }
            if (ValidateKVS(kNeverIssued + (i & 0xFFFF)) != CT_errorInvalidKVSet) ++failures;
            if (MRQkvs_GetNumPairs(kNeverIssued + i) != 0) ++failures;
            // Each worker holds a, b, the copy of a nested in b and, while it
            // round-trips b, two decoded sets with their nested sets.
            const uint32_t registered = MRQkvs_GetNumKVS();
            if (registered > before + 14) ++failures;
            CTkvs newest[4] = {};
            failures += newest_out_of_order(newest);
            ++i;
        }
    };
    std::thread p(prober);
    std::thread w1(worker, 100), w2(worker, 5000);
    w1.join();
    w2.join();
    stop = true;
    p.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(MRQkvs_GetNumKVS(), before);
}

// One worker's round on sets of its own: the number of failed checks.
int worker_round(int seed)
{
    int failures = 0;
    auto check = [&failures](bool good) { failures += good ? 0 : 1; };
    CTerror e = 0;
    CTkvs set = 0, inner = 0, copy = 0;
    check(CTkvs_Create(&set, &e) == CT_statusOK);
    check(CTkvs_Create(&inner, &e) == CT_statusOK);
    check(CTkvs_Create(&copy, &e) == CT_statusOK);
    check(CTkvs_PutInt(inner, 1, seed, &e) == CT_statusOK);
    for (int i = 0; i < 8; ++i) check(CTkvs_PutInt(set, 0x10u + i, seed + i, &e) == CT_statusOK);
    check(CTkvs_PutString(set, 0x20u, L"shared text", &e) == CT_statusOK);
    check(CTkvs_PutKVS(set, 0x21u, inner, &e) == CT_statusOK);
    const CTkvs slots[] = {inner, 0, inner};
    check(CTkvs_PutKVSArray(set, 0x22u, slots, 3, &e) == CT_statusOK);

    int32_t v = 0;
    check(CTkvs_GetInt(set, 0x13u, &v, &e) == CT_statusOK && v == seed + 3);
    CTkvs nested = 0;
    check(CTkvs_GetKVS(set, 0x21u, &nested, &e) == CT_statusOK);
    check(CTkvs_GetInt(nested, 1, &v, &e) == CT_statusOK && v == seed);
    int walked = 0;
    CTsymbol cursor = CT_keyFirst, key = 0;
    uint32_t type = 0;
    int32_t count = 0;
    while (CTkvs_GetNext(set, &cursor, &key, &type, &count, &e) == CT_statusOK) ++walked;
    check(walked == 11);

    check(CTkvs_Copy(copy, set, &e) == CT_statusOK);
    uint32_t same = 0;
    check(CTkvs_Match(copy, set, &same, &e) == CT_statusOK && same == 1);
    const CTsymbol gone[] = {0x21u, 0x10u};
    check(CTkvs_Remove(copy, gone, 2, &e) == CT_statusOK && MRQkvs_GetNumPairs(copy) == 9);

    check(CTkvs_Destroy(copy, &e) == CT_statusOK);
    check(CTkvs_Destroy(set, &e) == CT_statusOK);
    check(CTkvs_Destroy(inner, &e) == CT_statusOK);
    check(ValidateKVS(set) == CT_errorInvalidKVSet);
    return failures;
}

TEST_F(Concurrency, WorkersOnTheirOwnSetsWhileTheRegistryChanges)
{
    constexpr int kWorkers = 4;
    constexpr int kRounds = 150;
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};

    // The observer may only use calls that touch the registry alone.
    std::thread observer([&] {
        while (!done.load()) {
            CTkvs newest[8];
            failures.fetch_add(newest_out_of_order(newest));
            for (CTkvs h : newest) ValidateKVS(h);
            MRQkvs_GetNumKVS();
        }
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&, w] {
            for (int r = 0; r < kRounds; ++r) failures.fetch_add(worker_round(w * 1000 + r));
        });
    for (std::thread &t : workers) t.join();
    done.store(true);
    observer.join();

    EXPECT_EQ(failures.load(), 0);
}

// Churning threads create and destroy sets, so headers pass from one handle
// to the next all the time, while readers look up a live set, handles the
// churners destroyed a moment ago, and handles never issued. A lookup that
// took a stale handle for the set now holding its header would answer OK.
TEST_F(Concurrency, StaleHandlesStayRefusedWhileTheirHeadersAreReused)
{
    set_handle_counter(0x40000000u);
    CTerror e = 0;
    CTkvs live = 0;
    ASSERT_EQ(CTkvs_Create(&live, &e), CT_statusOK);
    ASSERT_EQ(CTkvs_PutInt(live, 1, 42, &e), CT_statusOK);

    constexpr int kChurners = 2;
    std::atomic<CTkvs> lastDestroyed[kChurners] = {};
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};

    auto churner = [&](int id) {
        CTerror ce = 0;
        for (int round = 0; round < 3000; ++round) {
            CTkvs a = 0, b = 0;
            if (CTkvs_Create(&a, &ce) != CT_statusOK || CTkvs_Create(&b, &ce) != CT_statusOK) ++failures;
            if (CTkvs_PutInt(a, 1, round, &ce) != CT_statusOK) ++failures;
            if (CTkvs_Destroy(a, &ce) != CT_statusOK) ++failures;
            lastDestroyed[id].store(a);
            if (CTkvs_PutInt(b, 1, round, &ce) != CT_statusOK) ++failures;  // b may hold a's header
            if (CTkvs_Destroy(b, &ce) != CT_statusOK) ++failures;
            lastDestroyed[id].store(b);
        }
    };
    auto reader = [&](int id) {
        CTerror re = 0;
        uint32_t i = 0;
        while (!stop.load()) {
            int32_t v = 0;
            if (CTkvs_GetInt(live, 1, &v, &re) != CT_statusOK || v != 42) ++failures;
            const CTkvs stale = lastDestroyed[(i + id) % kChurners].load();
            if (stale != 0) {
                if (CTkvs_GetInt(stale, 1, &v, &re) != CT_statusFail || re != CT_errorInvalidKVSet) ++failures;
                CTsymbol key = 0;
                uint32_t type = 0;
                if (CTkvs_GetNextKey(stale, &key, &type, &re) != CT_statusFail || re != CT_errorNoResource)
                    ++failures;
            }
            if (ValidateKVS(0x50000000u + (i & 0xFFFF)) != CT_errorInvalidKVSet) ++failures;
            ++i;
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(reader, 0);
    threads.emplace_back(reader, 1);
    std::thread c0(churner, 0), c1(churner, 1);
    c0.join();
    c1.join();
    stop = true;
    for (auto &t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(CTkvs_Destroy(live, &e), CT_statusOK);
}

}  // namespace
}  // namespace kvs::test
