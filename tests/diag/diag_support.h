// Helpers shared by the diagnostics tests (their fixture is kvs::test::KvsTest).
#ifndef KVSET_TESTS_DIAG_DIAG_SUPPORT_H
#define KVSET_TESTS_DIAG_DIAG_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/registry.h"
#include "store/store.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

namespace diagtest {

// A one-word pair stored with exactly this type code, including codes the
// puts never store (27, or a code of no type).
inline void PutRaw(CTkvs set, CTsymbol key, std::uint32_t type, std::uint32_t value)
{
    CTerror e = 0;
    EXPECT_EQ(kvs::put_block(kvs::registry_find(set), key, type, 1, &value, sizeof(value), &e), CT_statusOK);
}

// A handle that is not registered: made and destroyed at once.
inline CTkvs DeadHandle()
{
    CTkvs h = 0;
    CTerror e = 0;
    CTkvs_Create(&h, &e);
    CTkvs_Destroy(h, &e);
    return h;
}

// The handle of the set nested under key (lent by the set).
inline CTkvs Nested(CTkvs set, CTsymbol key)
{
    CTkvs h = 0;
    CTerror e = 0;
    EXPECT_EQ(CTkvs_GetKVS(set, key, &h, &e), CT_statusOK);
    return h;
}

// Checks a put: status 0 and CT_errorOK.
#define PUT_OK(call_with_error_e)                    \
    do {                                             \
        CTerror e = 0;                               \
        EXPECT_EQ((call_with_error_e), CT_statusOK); \
        EXPECT_EQ(e, CT_errorOK);                    \
    } while (0)

// Runs the test in a fresh temporary directory (with a Logs directory when
// asked) and goes back to the previous working directory afterwards.
class TempWorkDir {
public:
    explicit TempWorkDir(bool withLogs) : dir_("kvset_diag_")
    {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        if (withLogs) std::filesystem::create_directory("Logs");
    }
    ~TempWorkDir() { std::filesystem::current_path(previous_); }
    TempWorkDir(const TempWorkDir &) = delete;
    TempWorkDir &operator=(const TempWorkDir &) = delete;

    // The whole log file, or "<no log>" when there is none.
    std::string Log() const
    {
        std::ifstream in(dir_.path() / "Logs" / "kvs_log.txt", std::ios::binary);
        if (!in) return "<no log>";
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    kvs::test::TempDir dir_;
    std::filesystem::path previous_;
};

// Eight hex digits, as the display shows handles.
inline std::string Hex8(std::uint32_t v, bool upper = true)
{
    char text[16];
    std::snprintf(text, sizeof(text), upper ? "%08X" : "%08x", v);
    return text;
}

inline std::string Narrow(const std::wstring &w)
{
    std::string s;
    for (wchar_t c : w) s += static_cast<char>(c);
    return s;
}

}  // namespace diagtest

#endif
