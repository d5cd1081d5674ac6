// Rewrites one file with CTkvs_WriteFile in a loop, alternating between two
// of the rewrite sets, so that tests can kill it at any point or run two at
// once against the same file.
//   kvset_rewrite_driver PATH FIRST SECOND ROUNDS
// FIRST and SECOND pick sets (0 to 3); ROUNDS is the number of writes, 0 to
// write until killed. Exit 0 when every write succeeded, 1 otherwise.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rewrite_sets.h"

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PATH FIRST SECOND ROUNDS\n", argv[0]);
        return 1;
    }
    const std::string path = argv[1];
    const std::wstring name(path.begin(), path.end());
    const CTkvs sets[2] = {rewrite::make_set(std::atoi(argv[2])), rewrite::make_set(std::atoi(argv[3]))};
    const long rounds = std::atol(argv[4]);
    if (sets[0] == 0 || sets[1] == 0) {
        std::fprintf(stderr, "rewrite driver: cannot build the sets\n");
        return 1;
    }
    for (long round = 0; rounds == 0 || round < rounds; ++round) {
        CTerror e = 0;
        if (CTkvs_WriteFile(sets[round % 2], name.c_str(), 0, &e) != CT_statusOK) {
            std::fprintf(stderr, "rewrite driver: round %ld: CTkvs_WriteFile failed with 0x%08X\n", round, e);
            return 1;
        }
    }
    return 0;
}
