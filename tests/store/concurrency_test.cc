// The registry under threads: sets are created, filled, copied, encoded,
// decoded and destroyed while other threads look up stale and never-issued
// handles, count the registry and list the newest handles. Every answer is
// checked. Run under ThreadSanitizer in CI.
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

namespace {

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
            MRQkvs_GetNewestKVSets(newest, 4);  // one snapshot: descending, then zeros
            for (int k = 1; k < 4; ++k)
                if (newest[k] != 0 && newest[k] >= newest[k - 1]) ++failures;
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
