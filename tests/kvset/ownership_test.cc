// The object layer's calls that take a KV-Set, spelled as a caller naturally
// writes them with a non-const KVSet: each copies the pairs and leaves the
// source owned by its object. Before the KVSet overloads existed these calls
// went through the non-const conversion, which hands ownership over, and
// every one of them leaked the source set.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <type_traits>

#include "kvset/KVSet.h"
#include "kvset/mrqMakeCallOptionaArgs.h"
#include "kvset_support.h"

namespace {

// Only the two-argument constructor makes a KVSet from a handle, so a call
// with a raw handle can only reach the handle overloads.
static_assert(!std::is_convertible<unsigned long, KVSet>::value, "a handle must not convert to a KVSet");
static_assert(!std::is_convertible<CTkvs, KVSet>::value, "a handle must not convert to a KVSet");

class ObjectOwnershipTest : public kvs::test::KvsTest {};

const unsigned int kKey = 0x00010003u;  // the source's one pair: kKey = 30
const unsigned int kNest = 2u;

// Puts the source into a new set b with `put`, and expects b to hold a copy
// of the source's pair under kNest.
void expect_nested(const std::function<void(KVSet &b)> &put)
{
    KVSet b;
    b.create();
    put(b);
    EXPECT_EQ(KVSet(b.getKVS(kNest), false).getInt(kKey), 30);
}

TEST_F(ObjectOwnershipTest, CallsTakingAKVSetCopyAndLeaveTheSourceOwned)
{
    struct Case {
        const char *spelling;
        std::function<void(KVSet &source)> call;  // makes the call and checks that it took effect
    };
    const Case cases[] = {
        {"b.putKVS(2, a)", [](KVSet &a) { expect_nested([&](KVSet &b) { b.putKVS(2, a); }); }},
        {"b.putKVS(key, a) with an unsigned int key",
         [](KVSet &a) { expect_nested([&](KVSet &b) { b.putKVS(kNest, a); }); }},
        {"b.putKVS(2, KVSet(a)) with a temporary",
         [](KVSet &a) { expect_nested([&](KVSet &b) { b.putKVS(2, KVSet(a)); }); }},
        {"b.putKVS(2, a.handle())", [](KVSet &a) { expect_nested([&](KVSet &b) { b.putKVS(2, a.handle()); }); }},
        {"b.putKVS(2, h) with a CTkvs handle",
         [](KVSet &a) { expect_nested([&](KVSet &b) { b.putKVS(2, static_cast<CTkvs>(a.handle())); }); }},
        {"options.setRTC(a)",
         [](KVSet &a) {
             mrqMakeCallOptionaArgs options;
             options.setRTC(a);
             EXPECT_EQ(KVSet(options.getRTC(0), false).getInt(kKey), 30);
         }},
        {"options.setRTC(a.handle())",
         [](KVSet &a) {
             mrqMakeCallOptionaArgs options;
             options.setRTC(a.handle());
             EXPECT_EQ(KVSet(options.getRTC(0), false).getInt(kKey), 30);
         }},
        {"options.copy(a)",
         [](KVSet &a) {
             mrqMakeCallOptionaArgs options;
             options.copy(a);
             EXPECT_EQ(KVSet(options, false).getInt(kKey), 30);
         }},
        {"options.copy(a.handle())",
         [](KVSet &a) {
             mrqMakeCallOptionaArgs options;
             options.copy(a.handle());
             EXPECT_EQ(KVSet(options, false).getInt(kKey), 30);
         }},
        {"CTkvs_Copy(target, a.handle(), &e)",
         [](KVSet &a) {
             KVSet target;
             target.create();
             CTerror e = 0;
             EXPECT_EQ(CTkvs_Copy(static_cast<CTkvs>(target.handle()), static_cast<CTkvs>(a.handle()), &e),
                       CT_statusOK);
             EXPECT_EQ(target.getInt(kKey), 30);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.spelling);
        const std::uint32_t before = MRQkvs_GetNumKVS();
        {
            KVSet a;
            const unsigned long h = a.create();
            a.putInt(kKey, 30);
            c.call(a);
            EXPECT_EQ(a.handle(), h) << "the source keeps its handle";
            a.putInt(kKey + 1, 31);  // and stays usable
            EXPECT_EQ(a.getInt(kKey), 30);
        }
        EXPECT_EQ(MRQkvs_GetNumKVS(), before) << "every set made by the call or the source is gone";
    }
}

}  // namespace
