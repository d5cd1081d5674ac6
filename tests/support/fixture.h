// The fixture every unit test that touches KV-Sets is built on, and a way to
// capture what a C API call answered.
//
// Registered sets are invisible to leak checkers, so KvsTest checks at
// tear-down that MRQkvs_GetNumKVS() is back where it was when the test
// started. Sets made with make_set() or handed over with own() are destroyed
// first, so the check catches what they leave behind (orphaned nested copies)
// as well as sets the test forgot. Tear-down also disarms the allocation seam
// and restores the registry's real capacity, so a failing test cannot poison
// the tests that run after it in the same process.
#ifndef KVSET_TESTS_SUPPORT_FIXTURE_H
#define KVSET_TESTS_SUPPORT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/alloc_internal.h"
#include "store/registry_internal.h"

namespace kvs::test {

// A symbol no function writes: shows that nothing was written.
constexpr CTerror kUnwritten = 0xDEADBEEFu;

// What a call answered: its status and the error symbol it wrote.
struct Outcome {
    CTstatus status;
    CTerror error;
    bool operator==(const Outcome &o) const { return status == o.status && error == o.error; }
    bool operator!=(const Outcome &o) const { return !(*this == o); }
};

inline const char *symbol_name(CTerror e)
{
    switch (e) {
    case CT_errorOK: return "CT_errorOK";
    case CT_errorInvalidKVSet: return "CT_errorInvalidKVSet";
    case CT_errorNoResource: return "CT_errorNoResource";
    case CT_errorNoSuchKey: return "CT_errorNoSuchKey";
    case CT_errorEndOfList: return "CT_errorEndOfList";
    case CT_errorBadParameter: return "CT_errorBadParameter";
    case kUnwritten: return "(not written)";
    default: return "?";
    }
}

inline void PrintTo(const Outcome &o, std::ostream *os)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", o.error);
    *os << "{status " << o.status << ", " << symbol_name(o.error) << " " << hex << "}";
}

inline Outcome ok() { return {CT_statusOK, CT_errorOK}; }
inline Outcome warning(CTerror e) { return {CT_statusWarning, e}; }
inline Outcome fail(CTerror e) { return {CT_statusFail, e}; }

// Calls f(args..., &error) and captures what it answered.
template <class F, class... A>
Outcome run(F f, A... args)
{
    CTerror e = kUnwritten;
    CTstatus s = f(args..., &e);
    return {s, e};
}

class KvsTest : public ::testing::Test {
protected:
    void SetUp() override { startCount_ = MRQkvs_GetNumKVS(); }

    void TearDown() override
    {
        disarm_allocation_failures();
        set_registry_capacity(0);
        for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) {
            CTerror e = 0;
            if (ValidateKVS(*it) == CT_errorOK) {
                EXPECT_EQ(CTkvs_Destroy(*it, &e), CT_statusOK) << "handle " << *it;
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
        return own(h);
    }

    // Takes over a set made elsewhere (a builder, fromJson, a decoder): it is
    // destroyed at tear-down.
    CTkvs own(CTkvs h)
    {
        if (h != 0) owned_.push_back(h);
        return h;
    }

    // Destroys an owned set now, and answers what the destroy answered.
    Outcome destroy(CTkvs h)
    {
        for (auto it = owned_.begin(); it != owned_.end(); ++it)
            if (*it == h) {
                owned_.erase(it);
                break;
            }
        return run(CTkvs_Destroy, h);
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

}  // namespace kvs::test

#endif
