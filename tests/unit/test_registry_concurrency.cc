// The registry under threads: sets are created, filled, copied and destroyed
// while other threads look up stale and never-issued handles, count the
// registry and list the newest handles. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/registry_internal.h"

namespace {

constexpr CTkvs kFirstHandle = 0x10000000u;  // far from any handle other tests use
constexpr CTkvs kNeverIssued = 0x30000000u;

TEST(RegistryConcurrency, StaleAndNeverIssuedHandlesAreRefusedWhileSetsComeAndGo)
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
            CTkvs_PutKVS(b, 1, a, &e);
            CTkvs_Copy(b, a, &e);
            int32_t v = 0;
            if (CTkvs_GetInt(b, 7, &v, &e) != CT_statusOK || v != seed + 7) ++failures;
            CTkvs_Destroy(a, &e);
            CTkvs_Destroy(b, &e);
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
            CTkvs newest[4] = {};
            MRQkvs_GetNewestKVSets(newest, 4);
            if (MRQkvs_GetNumKVS() > before + 6) ++failures;  // each worker holds a, b and the copy of a nested in b
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

}  // namespace
