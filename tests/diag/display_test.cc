// MRQkvs_Display: the whole log text for every type, nesting, KV-Set arrays,
// invalid handles, the standard-output fallback and memory shortage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <regex>
#include <string>
#include <thread>

#include "diag/diag_internal.h"
#include "diag/sink.h"
#include "diag_support.h"
#include "kvset/ctkvs.h"
#include "store/alloc_internal.h"
#include "store/registry.h"

namespace {

using diagtest::DeadHandle;
using diagtest::Nested;

using diagtest::Hex8;
using diagtest::PutRaw;
using diagtest::TempWorkDir;

// Addresses change from run to run: the unknown-type row and the KV-Set
// array heading show them masked.
std::string MaskAddresses(const std::string &log)
{
    static const std::regex kAddress("(UNKNOWN\\[-?\\d+\\] \\(-?\\d+\\) \tValue = |CTkvs_ct\\[-?\\d+\\] \tValue = )"
                                     "[0-9A-F]{8}H");
    return std::regex_replace(log, kAddress, "$1<addr>H");
}

std::string Banner(CTkvs h)
{
    return "\n KVSET DISPLAY FUNCTION OUTPUT  0x" + Hex8(h, false) + "\n *****************************";
}

class Display : public kvs::test::KvsTest {
protected:
    // One pair of every type but the nested ones, and a pair of no type.
    CTkvs AllTypes()
    {
        CTkvs s = make_set();
        PUT_OK(CTkvs_PutBool(s, 1, 5, &e));
        PUT_OK(CTkvs_PutBool(s, 2, 0, &e));
        PUT_OK(CTkvs_PutConference(s, 3, 0xFFFFFFFFu, &e));
        PUT_OK(CTkvs_PutGroup(s, 4, 7, &e));
        PUT_OK(CTkvs_PutInt(s, 5, -42, &e));
        PUT_OK(CTkvs_PutMode(s, 6, 1, &e));
        PUT_OK(CTkvs_PutMode(s, 7, 7, &e));
        PUT_OK(CTkvs_PutSession(s, 8, 12, &e));
        PUT_OK(CTkvs_PutService(s, 9, 13, &e));
        PUT_OK(CTkvs_PutStatus(s, 10, 3, &e));
        PUT_OK(CTkvs_PutStatus(s, 11, 0xFFFFFFFFu, &e));
        PUT_OK(CTkvs_PutSymbol(s, 12, CT_errorNoSuchKey, &e));
        PUT_OK(CTkvs_PutError(s, 13, CT_errorBadParameter, &e));
        PutRaw(s, 14, KV_TYPE_ERROR, CT_errorFileOpen);
        PUT_OK(CTkvs_PutTime(s, 15, 0xBEEF, &e));
        PUT_OK(CTkvs_PutUint(s, 16, 4000000000u, &e));
        PUT_OK(CTkvs_PutStream(s, 17, 4000000001u, &e));
        PUT_OK(CTkvs_PutChar(s, 18, u'Z', &e));
        PUT_OK(CTkvs_PutConnection(s, 19, 19, &e));
        PUT_OK(CTkvs_PutIrange(s, 20, -5, 9, &e));
        PUT_OK(CTkvs_PutString(s, MakeCall_LineDevice, L"dxxxB1C1", &e));
        PUT_OK(CTkvs_PutString(s, 22, static_cast<const wchar_t *>(nullptr), &e));
        const uint32_t bools[] = {0, 2};
        PUT_OK(CTkvs_PutBoolArray(s, 23, bools, 2, &e));
        const uint8_t bytes[] = {0x0A, 0xFF};
        PUT_OK(CTkvs_PutByteArray(s, 24, bytes, 2, &e));
        const uint32_t conferences[] = {1, 0xFFFFFFFEu};
        PUT_OK(CTkvs_PutCONFArray(s, 25, conferences, 2, &e));
        const uint32_t groups[] = {3};
        PUT_OK(CTkvs_PutGRPArray(s, 26, groups, 1, &e));
        const int32_t ints[] = {-1, 2};
        PUT_OK(CTkvs_PutIntArray(s, 27, ints, 2, &e));
        const struct_Irange ranges[] = {{1, 2}, {-3, 4}};
        PUT_OK(CTkvs_PutIrangeArray(s, 28, ranges, 2, &e));
        const uint32_t modes[] = {0, 1, 5};
        PUT_OK(CTkvs_PutModeArray(s, 29, modes, 3, &e));
        const uint32_t sessions[] = {4};
        PUT_OK(CTkvs_PutSESArray(s, 30, sessions, 1, &e));
        const uint32_t services[] = {5, 6};
        PUT_OK(CTkvs_PutServiceArray(s, 31, services, 2, &e));
        const CTstatus statuses[] = {0, 3};
        PUT_OK(CTkvs_PutStatusArray(s, 32, statuses, 2, &e));
        const wchar_t *const strings[] = {L"a", nullptr, L""};
        PUT_OK(CTkvs_PutStringArray(s, 33, strings, 3, &e));
        const CTsymbol symbols[] = {CT_keyFirst, 0x1234};
        PUT_OK(CTkvs_PutSymbolArray(s, 34, symbols, 2, &e));
        const CTerror errors[] = {CT_errorOK};
        PUT_OK(CTkvs_PutErrorArray(s, 35, errors, 1, &e));
        const uint32_t connections[] = {8};
        PUT_OK(CTkvs_PutCONNArray(s, 36, connections, 1, &e));
        const uint32_t uints[] = {0, 4294967295u};
        PUT_OK(CTkvs_PutUintArray(s, 37, uints, 2, &e));
        const uint32_t times[] = {1, 0xABCDEF01u};
        PUT_OK(CTkvs_PutTimeArray(s, 38, times, 2, &e));
        PUT_OK(CTkvs_PutIntArray(s, 39, nullptr, 0, &e));
        PutRaw(s, 40, 99, 0);
        return s;
    }

    // outer: int; a set holding a set (two levels); a KV-Set array of one
    // set and an empty element; int.
    CTkvs Nesting()
    {
        CTkvs inner = make_set();
        PUT_OK(CTkvs_PutString(inner, 4, L"deep", &e));
        CTkvs middle = make_set();
        PUT_OK(CTkvs_PutInt(middle, 2, 2, &e));
        PUT_OK(CTkvs_PutKVS(middle, 3, inner, &e));
        CTkvs element = make_set();
        PUT_OK(CTkvs_PutBool(element, 6, 1, &e));
        CTkvs outer = make_set();
        PUT_OK(CTkvs_PutInt(outer, 1, 1, &e));
        PUT_OK(CTkvs_PutKVS(outer, MakeCall_CPA, middle, &e));
        const CTkvs elements[] = {element, 0};
        PUT_OK(CTkvs_PutKVSArray(outer, 5, elements, 2, &e));
        PUT_OK(CTkvs_PutInt(outer, 7, 7, &e));
        return outer;
    }

    std::string NestingText(CTkvs outer)
    {
        const CTkvs middle = Nested(outer, MakeCall_CPA);
        const CTkvs inner = Nested(middle, 3);
        return Banner(outer) +
               "\n  No. of nodes = 4"
               "\n Key = 0x00000001\tType = CTint \tValue = 1"
               "\n Key = MakeCall_CPA\tType = CTkvs_ct \tValue = " + Hex8(middle) + "H\n"
               "   KVSet     ****************************************"
               "\n    No. of nodes = 2"
               "\n   Key = 0x00000002\tType = CTint \tValue = 2"
               "\n   Key = 0x00000003\tType = CTkvs_ct \tValue = " + Hex8(inner) + "H\n"
               "      KVSet     ****************************************"
               "\n       No. of nodes = 1"
               "\n      Key = 0x00000004\tType = CTstring \tValue = 'deep'"
               "\n"
               "      end of KVS****************************************\n"
               "\n"
               "   end of KVS****************************************\n"
               "\n Key = 0x00000005\tType = CTkvs_ct[2] \tValue = <addr>H\n"
               "\n KVS Array      **************************************"
               "   kvset #1 ***************\n"
               "\n    No. of nodes = 1"
               "\n   Key = 0x00000006\tType = CTbool \tValue = CT_boolTrue (1)"
               "\n"
               "   kvset #2 ***************\n"
               "\n[MRQkvs_Display] Invalid KV-Set - 00000000H\n"
               " END of KVS Array**************************************"
               "\n Key = 0x00000007\tType = CTint \tValue = 7"
               "\n";
    }

    std::string Rendered(CTkvs h)
    {
        kvs::diag::GrowSink sink;
        kvs::diag::render_display(h, sink);
        EXPECT_FALSE(sink.failed());
        std::string text;
        for (std::size_t i = 0; i < sink.size(); ++i) text += static_cast<char>(sink.data()[i]);
        return text;
    }
};

TEST_F(Display, EveryTypeCodeOnePairALine)
{
    const CTkvs s = AllTypes();
    TempWorkDir dir(true);
    MRQkvs_Display(s);
    const std::string expected =
        Banner(s) +
        "\n  No. of nodes = 40"
        "\n Key = 0x00000001\tType = CTbool \tValue = CT_boolTrue (5)"
        "\n Key = 0x00000002\tType = CTbool \tValue = CT_boolFalse (0)"
        "\n Key = 0x00000003\tType = CTconf_ct \tValue = -1"
        "\n Key = 0x00000004\tType = CTgrp_ct \tValue = 7"
        "\n Key = 0x00000005\tType = CTint \tValue = -42"
        "\n Key = 0x00000006\tType = CTmode \tValue = CT_modeSync"
        "\n Key = 0x00000007\tType = CTmode \tValue = UNKNOWN (7)"
        "\n Key = 0x00000008\tType = CTses_ct \tValue = 12"
        "\n Key = 0x00000009\tType = CTsrv_ct \tValue = 13"
        "\n Key = 0x0000000A\tType = CTstatus \tValue = CT_statusFail"
        "\n Key = 0x0000000B\tType = CTstatus \tValue = UNKNOWN (-1)"
        "\n Key = 0x0000000C\tType = CTsymbol \tValue = CT_errorNoSuchKey"
        "\n Key = 0x0000000D\tType = CTsymbol \tValue = CT_errorBadParameter"
        "\n Key = 0x0000000E\tType = CTerror \tValue = CT_errorFileOpen"
        "\n Key = 0x0000000F\tType = CTtime \tValue = 0000BEEFH"
        "\n Key = 0x00000010\tType = CTuint \tValue = 4000000000"
        "\n Key = 0x00000011\tType = CTstream_ct \tValue = 4000000001"
        "\n Key = 0x00000012\tType = CTchar \tValue = Z"
        "\n Key = 0x00000013\tType = CTconn_ct \tValue = 19"
        "\n Key = 0x00000014\tType = CTirange  lower/upper = -5 / 9"
        "\n Key = MakeCall_LineDevice\tType = CTstring \tValue = 'dxxxB1C1'"
        "\n Key = 0x00000016\tType = CTstring \tValue = '(null)'"
        "\n Key = 0x00000017\tType = CTbool[2] \tValue = CT_boolFalse  CT_boolTrue  "
        "\n Key = 0x00000018\tType = Byte[2] \tValue = 0aH ffH "
        "\n Key = 0x00000019\tType = CTconf_ct[][2] \tValue = 1  -2  "
        "\n Key = 0x0000001A\tType = CTgrp_ct[][1] \tValue = 3  "
        "\n Key = 0x0000001B\tType = CTint[2] \tValue = -1 2 "
        "\n Key = 0x0000001C\tType = CTirange[2] \tValue (lower / uppper) = 1 / 2,   -3 / 4,   "
        "\n Key = 0x0000001D\tType = CTmode[3] \tValue = CT_modeAsyncCT_modeSyncUNKNOWN (5)"
        "\n Key = 0x0000001E\tType = CTses_ct[][1] \tValue = 4  "
        "\n Key = 0x0000001F\tType = CTsrv_ct[][2] \tValue = 5  6  "
        "\n Key = 0x00000020\tType = CTstatus[2] \tValue = CT_statusOKCT_statusFail"
        "\n Key = 0x00000021\tType = CTstring[3] \tValue = 'a',  '(null)',  '',  "
        "\n Key = 0x00000022\tType = CTsymbol[][2] \tValue = CT_keyFirst   0x00001234   "
        "\n Key = 0x00000023\tType = CTerror[][1] \tValue = CT_errorOK   "
        "\n Key = 0x00000024\tType = CTconn_ct[][1] \tValue = 8  "
        "\n Key = 0x00000025\tType = CTuint[2] \tValue = 0 4294967295 "
        "\n Key = 0x00000026\tType = CTtime[2] \tValue = 00000001H  ABCDEF01H  "
        "\n Key = 0x00000027\tType = CTint[0] \tValue = "
        "\n Key = 0x00000028\tType = UNKNOWN[1] (99) \tValue = <addr>H"
        "\n";
    EXPECT_EQ(MaskAddresses(dir.Log()), expected);
}

TEST_F(Display, NestedSetsAndKvsArrayIndentAndFrame)
{
    const CTkvs outer = Nesting();
    const std::string once = NestingText(outer);
    TempWorkDir dir(true);
    // The log is appended to, and a second call starts at the top level again.
    MRQkvs_Display(outer);
    EXPECT_EQ(kvs::diag::display_indentation(), 0);
    MRQkvs_Display(outer);
    EXPECT_EQ(MaskAddresses(dir.Log()), once + once);
}

TEST_F(Display, EmptySetsAndInvalidHandles)
{
    const CTkvs empty = make_set();
    const CTkvs broken = make_set();
    const CTkvs dead = DeadHandle();
    const CTkvs emptyArray = make_set();
    PUT_OK(CTkvs_PutKVSArray(emptyArray, 1, nullptr, 0, &e));
    kvs::KVSetHeader *header = kvs::registry_find(broken);
    ASSERT_NE(header, nullptr);
    header->signature[0] = 'X';  // registered, but fails the signature check

    TempWorkDir dir(true);
    MRQkvs_Display(empty);
    MRQkvs_Display(dead);
    MRQkvs_Display(broken);
    MRQkvs_Display(emptyArray);
    header->signature[0] = 'K';

    const std::string expected = Banner(empty) + "\n  No. of nodes = 0\n" +
                                 // unregistered: no banner
                                 "\n[MRQkvs_Display] Invalid KV-Set - " + Hex8(dead) + "H\n" +
                                 // bad signature: the banner, no count, no closing line end
                                 Banner(broken) + "\n[MRQkvs_Display] Invalid KV-Set - " + Hex8(broken) + "H\n" +
                                 Banner(emptyArray) +
                                 "\n  No. of nodes = 1"
                                 "\n Key = 0x00000001\tType = CTkvs_ct[0] \tValue = <addr>H\n"
                                 "\n KVS Array      **************************************"
                                 " END of KVS Array**************************************"
                                 "\n";
    EXPECT_EQ(MaskAddresses(dir.Log()), expected);
}

TEST_F(Display, DestroyedNestedSetShowsInvalidInsideItsFrame)
{
    const CTkvs inner = make_set();
    const CTkvs outer = make_set();
    PUT_OK(CTkvs_PutKVS(outer, 1, inner, &e));
    PUT_OK(CTkvs_PutInt(outer, 2, 3, &e));
    const CTkvs lent = Nested(outer, 1);
    PUT_OK(CTkvs_Destroy(lent, &e));
    EXPECT_EQ(Rendered(outer), Banner(outer) +
                                   "\n  No. of nodes = 2"
                                   "\n Key = 0x00000001\tType = CTkvs_ct \tValue = " + Hex8(lent) + "H\n"
                                   "   KVSet     ****************************************"
                                   "\n[MRQkvs_Display] Invalid KV-Set - " + Hex8(lent) + "H\n"
                                   "   end of KVS****************************************\n"
                                   "\n Key = 0x00000002\tType = CTint \tValue = 3"
                                   "\n");
}

TEST_F(Display, WithoutLogsDirectoryTheDumpGoesToStandardOutput)
{
    const CTkvs outer = Nesting();
    const std::string expected = NestingText(outer);
    TempWorkDir dir(false);
    testing::internal::CaptureStdout();
    MRQkvs_Display(outer);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(MaskAddresses(out), expected);
    EXPECT_FALSE(std::filesystem::exists("Logs"));  // never created
}

// Failing the render buffer's Nth allocation, for every N the dump uses:
// the log still gets the whole dump, once.
TEST_F(Display, ShortOfMemoryTheDumpIsStillWrittenWhole)
{
    const CTkvs s = AllTypes();
    TempWorkDir dir(true);
    MRQkvs_Display(s);
    const std::string reference = dir.Log();
    ASSERT_GT(reference.size(), 1024u);  // needs the buffer to grow
    std::string log = reference;
    for (std::uint64_t n = 1;; ++n) {
        kvs::test::fail_allocation(n, kvs::test::FailMode::FromThenOn);
        MRQkvs_Display(s);
        const std::uint64_t seen = kvs::test::disarm_allocation_failures();
        log += reference;
        ASSERT_EQ(dir.Log(), log) << "allocation " << n << " failed";
        if (seen < n) break;  // no allocation failed: every path is covered
    }
}

TEST_F(Display, ConcurrentDisplaysKeepTheirOwnIndentation)
{
    const CTkvs a = Nesting();
    const CTkvs b = Nesting();
    const std::string expectA = Rendered(a);
    const std::string expectB = Rendered(b);
    auto run = [this](CTkvs h, const std::string &expected, int *mismatches) {
        for (int i = 0; i < 1000; ++i)
            if (Rendered(h) != expected) ++*mismatches;
    };
    int badA = 0;
    int badB = 0;
    std::thread ta(run, a, std::cref(expectA), &badA);
    std::thread tb(run, b, std::cref(expectB), &badB);
    ta.join();
    tb.join();
    EXPECT_EQ(badA, 0);
    EXPECT_EQ(badB, 0);
}

// Wide text reaches a stream whatever orientation it already has, in the
// locale's multibyte encoding; what the locale cannot encode shows as '?'.
TEST(DisplayStream, WritesWideTextToAnyOrientationInTheLocaleEncoding)
{
    struct Case {
        const char *locale;
        int orientation;  // fwide mode set before writing: 0 none, <0 narrow, >0 wide
        const char *expected;
    };
    const Case table[] = {
        {"C", 0, "Key = ?\n"},
        {"C", -1, "n:Key = ?\n"},
        {"C", 1, "Key = ?\n"},
        {"C.UTF-8", 0, "Key = \xC3\xA9\n"},
        {"C.UTF-8", -1, "n:Key = \xC3\xA9\n"},
        {"C.UTF-8", 1, "Key = \xC3\xA9\n"},
    };
    struct LocaleGuard {
        std::string saved = std::setlocale(LC_ALL, nullptr);
        ~LocaleGuard() { std::setlocale(LC_ALL, saved.c_str()); }
    } restoreLocale;
    for (const Case &c : table) {
        ASSERT_NE(std::setlocale(LC_ALL, c.locale), nullptr) << c.locale;
        std::FILE *f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        if (c.orientation < 0) std::fputs("n:", f);
        if (c.orientation > 0) std::fwide(f, 1);
        kvs::diag::write_wide(f, L"Key = \u00E9\n", 8);
        std::fflush(f);
        std::rewind(f);
        // Read the bytes back through a fresh narrow stream on the same file.
        std::FILE *back = ::fdopen(::dup(::fileno(f)), "rb");
        ASSERT_NE(back, nullptr);
        std::rewind(back);
        char bytes[64] = {};
        const std::size_t n = std::fread(bytes, 1, sizeof(bytes) - 1, back);
        std::fclose(back);
        std::fclose(f);
        EXPECT_EQ(std::string(bytes, n), c.expected) << c.locale << " orientation " << c.orientation;
    }
}

}  // namespace
