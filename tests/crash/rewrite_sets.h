// The sets the rewrite driver writes, built the same way by the driver and
// by the tests that check what it left: four sets of distinct contents and
// sizes (about 15, 25, 35 and 45 KB as file blocks).
#ifndef KVSET_TESTS_CRASH_REWRITE_SETS_H
#define KVSET_TESTS_CRASH_REWRITE_SETS_H

#include <string>

#include "kvset/ctkvs.h"

namespace rewrite {

constexpr int kSets = 4;

// Set `which` (0 to kSets - 1) as a new registered KV-Set; 0 on failure.
inline CTkvs make_set(int which)
{
    CTkvs set = 0;
    CTerror e = 0;
    if (CTkvs_Create(&set, &e) != CT_statusOK) return 0;
    const int pairs = 100 * (which + 1) + 50;
    for (int i = 0; i < pairs; ++i) {
        const std::wstring value = L"set " + std::to_wstring(which) + L", pair " + std::to_wstring(i);
        if (CTkvs_PutString(set, static_cast<CTsymbol>(0x1000 + i), value.c_str(), &e) != CT_statusOK ||
            CTkvs_PutInt(set, static_cast<CTsymbol>(0x8000 + i), which * 100000 + i, &e) != CT_statusOK) {
            CTkvs_Destroy(set, &e);
            return 0;
        }
    }
    return set;
}

}  // namespace rewrite

#endif
