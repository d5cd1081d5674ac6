// Threads that create, fill, read, copy and destroy their own sets while the
// registry changes under them, and an observer that only asks the registry.
// Run under ThreadSanitizer in CI.
#include <atomic>
#include <thread>
#include <vector>

#include "store_support.h"

namespace kvstest {
namespace {

using StoreConcurrency = StoreTest;

// One worker's round: every failure is counted, not asserted, so that the
// threads never stop half-way.
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

TEST_F(StoreConcurrency, WorkersOnTheirOwnSetsWhileTheRegistryChanges)
{
    constexpr int kWorkers = 4;
    constexpr int kRounds = 150;
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};

    // The observer may only use calls that touch the registry alone. Each
    // answer of MRQkvs_GetNewestKVSets is one snapshot: strictly descending
    // handles, then zeros.
    std::thread observer([&] {
        while (!done.load()) {
            CTkvs newest[8];
            MRQkvs_GetNewestKVSets(newest, 8);
            for (int i = 1; i < 8; ++i)
                if (newest[i] != 0 && newest[i] >= newest[i - 1]) failures.fetch_add(1);
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

}  // namespace
}  // namespace kvstest
