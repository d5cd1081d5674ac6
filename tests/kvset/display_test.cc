// display() of KVSet and of the make-call options: the dump of the held
// KV-Set reaches the log; an object that holds nothing does not throw.
#include <gtest/gtest.h>

#include <string>

#include "diag/diag_support.h"
#include "kvset/mrqMakeCallOptionaArgs.h"
#include "kvset_support.h"

namespace {

class ObjectDisplay : public kvs::test::KvsTest {};

std::string banner(unsigned long handle)
{
    return "KVSET DISPLAY FUNCTION OUTPUT  0x" + diagtest::Hex8(static_cast<std::uint32_t>(handle), false);
}

TEST_F(ObjectDisplay, DumpsTheHeldKVSetToTheLog)
{
    diagtest::TempWorkDir dir(true);
    KVSet k;
    const unsigned long h = k.create();
    k.putString(MakeCall_LineDevice, std::wstring(L"dxxxB1C1"));
    k.display();
    const std::string log = dir.Log();
    EXPECT_NE(log.find(banner(h)), std::string::npos) << log;
    EXPECT_NE(log.find("MakeCall_LineDevice"), std::string::npos) << log;
    EXPECT_NE(log.find("dxxxB1C1"), std::string::npos) << log;

    KVSet nothing;
    EXPECT_NO_THROW(nothing.display());
    EXPECT_NE(dir.Log().find("Invalid KV-Set - 00000000H"), std::string::npos);
}

TEST_F(ObjectDisplay, OptionsDumpTheirOptionsKVSet)
{
    diagtest::TempWorkDir dir(true);
    mrqMakeCallOptionaArgs o;
    o.display();
    const std::string log = dir.Log();
    EXPECT_NE(log.find(banner(o)), std::string::npos) << log;
    for (const char *key : {"MakeCall_RTC", "MakeCall_ConnectMask", "MakeCall_DisconnectMask", "MakeCall_CPA",
                            "MakeCall_OutboundOfferMedia", "MakeCall_OutboundAcceptMedia"})
        EXPECT_NE(log.find(key), std::string::npos) << key;
}

}  // namespace
