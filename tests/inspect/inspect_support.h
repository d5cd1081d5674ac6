// Shared helpers of the inspection tests: a fixture that checks no KV-Set
// is left registered, and a small builder over the C API.
#ifndef KVSET_TESTS_UNIT_INSPECT_SUPPORT_H
#define KVSET_TESTS_UNIT_INSPECT_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvset/kvset.h"

namespace inspect_test {

class SetsFixture : public ::testing::Test {
protected:
    void SetUp() override { start_ = MRQkvs_GetNumKVS(); }
    void TearDown() override
    {
        for (CTkvs h : owned_) {
            CTerror e = 0;
            CTkvs_Destroy(h, &e);
        }
        EXPECT_EQ(MRQkvs_GetNumKVS(), start_) << "a KV-Set was left registered";
    }

    // A new set that the fixture destroys at tear-down.
    CTkvs make()
    {
        CTkvs h = 0;
        CTerror e = 0;
        EXPECT_EQ(CTkvs_Create(&h, &e), CT_statusOK);
        owned_.push_back(h);
        return h;
    }

    // Takes over a set made elsewhere (fromJson, a decoder).
    CTkvs own(CTkvs h)
    {
        if (h != 0) owned_.push_back(h);
        return h;
    }

    void drop(CTkvs h)
    {
        for (auto it = owned_.begin(); it != owned_.end(); ++it) {
            if (*it == h) {
                owned_.erase(it);
                break;
            }
        }
        CTerror e = 0;
        CTkvs_Destroy(h, &e);
    }

private:
    std::uint32_t start_ = 0;
    std::vector<CTkvs> owned_;
};

// A call that must succeed; `error` is read after the call.
#define KVS_OK(call, error)                      \
    do {                                         \
        const CTstatus kvs_status_ = (call);     \
        ASSERT_EQ(kvs_status_, CT_statusOK);     \
        ASSERT_EQ((error), CT_errorOK);          \
    } while (0)

}  // namespace inspect_test

#endif
