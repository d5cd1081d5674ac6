// Shared base fixture for unit tests that create KV-Sets.
//
// Registered sets are invisible to leak checkers, so every test built on
// KvsTest checks at tear-down that MRQkvs_GetNumKVS() is back where it was
// when the test started. Sets made with make_set() are destroyed first, so
// the check catches what they leave behind (orphaned nested copies) as well
// as sets the test forgot. Tear-down also disarms the allocation seam and
// restores the registry's real capacity, so a failing test cannot poison the
// tests that run after it in the same process.
#ifndef KVSET_TESTS_UNIT_KVS_TEST_FIXTURE_H
#define KVSET_TESTS_UNIT_KVS_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/alloc_internal.h"
#include "store/registry_internal.h"

namespace kvs {
namespace test {

class KvsTest : public ::testing::Test {
protected:
    void SetUp() override { startCount_ = MRQkvs_GetNumKVS(); }

    void TearDown() override
    {
        disarm_allocation_failures();
        set_registry_capacity(0);
        for (CTkvs h : owned_) {
            CTerror e = 0;
            if (ValidateKVS(h) == CT_errorOK) {
                EXPECT_EQ(CTkvs_Destroy(h, &e), CT_statusOK) << "handle " << h;
            }
        }
        owned_.clear();
        EXPECT_EQ(MRQkvs_GetNumKVS(), startCount_) << "registered KV-Sets leaked by the test";
    }

    // A new empty set, destroyed at tear-down (unless the test destroyed it).
    CTkvs make_set()
    {
        CTkvs h = 0;
        CTerror e = 0;
        EXPECT_EQ(CTkvs_Create(&h, &e), CT_statusOK);
        EXPECT_EQ(e, CT_errorOK);
        if (h != 0) owned_.push_back(h);
        return h;
    }

    // A set holding a copy of `source`'s pairs, destroyed at tear-down.
    CTkvs snapshot(CTkvs source)
    {
        CTkvs h = make_set();
        CTerror e = 0;
        EXPECT_EQ(CTkvs_Copy(h, source, &e), CT_statusOK);
        return h;
    }

    // 1 when both sets hold equal pairs in the same order.
    static std::uint32_t match(CTkvs a, CTkvs b)
    {
        std::uint32_t result = 2;
        CTerror e = 0;
        EXPECT_EQ(CTkvs_Match(a, b, &result, &e), CT_statusOK);
        return result;
    }

    std::uint32_t start_count() const { return startCount_; }

private:
    std::uint32_t startCount_ = 0;
    std::vector<CTkvs> owned_;
};

}  // namespace test
}  // namespace kvs

#endif
