#include "diag/leak_report.h"

#include <cstdlib>
#include <cstring>

#include "diag/names.h"

namespace kvs {
namespace diag {
namespace {

constexpr int kKeysShown = 4;

}  // namespace

bool leak_report_wanted()
{
    const char *value = std::getenv("KVSET_LEAK_REPORT");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void write_leak_heading(std::FILE *out, std::size_t count)
{
    std::fprintf(out, "kvset: %zu set%s still registered at exit\n", count, count == 1 ? "" : "s");
}

void write_leaked_set(std::FILE *out, CTkvs handle, const KVSetHeader &set)
{
    std::fprintf(out, "kvset:   set %u: %d pair%s", static_cast<unsigned>(handle), set.pairCount,
                 set.pairCount == 1 ? "" : "s");
    NameBuffer names;
    int shown = 0;
    for (const KVPairNode *p = set.first; p != nullptr && shown < kKeysShown; p = p->next, ++shown) {
        const wchar_t *name = names.lookup(p->key);
        std::fputs(shown == 0 ? ": " : ", ", out);
        if (name[0] != L'\0')
            std::fprintf(out, "%ls", name);
        else
            std::fprintf(out, "0x%08X", static_cast<unsigned>(p->key));
    }
    if (set.pairCount > shown && shown == kKeysShown) std::fputs(", ...", out);
    std::fputc('\n', out);
}

}  // namespace diag
}  // namespace kvs
