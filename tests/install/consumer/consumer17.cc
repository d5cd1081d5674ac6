// A C++17 program of the installed package: kvset/set.hpp alone, through
// find_package. Builds a set of a few types, round-trips it through a block
// and JSON, and checks that a failure arrives as kvset::Error.
#include <kvset/set.hpp>

#include <cstdio>

int main()
{
    kvset::Set set;
    set.put(1, -5);
    set.put(2, kvset::Symbol{CT_errorNoSuchKey});
    set.put(3, "caf\xC3\xA9");
    set.put(4, kvset::IntArray{{1, 2, 3}});
    kvset::Set back = kvset::Set::decode(set.encode(kvset::Format::memory));
    bool ok = back == set && kvset::Set::from_json(set.to_json()) == set && back.get<kvset::String>(3).to_utf8() == "caf\xC3\xA9";
    try {
        (void)set.get<kvset::Uint>(1);
        ok = false;
    } catch (const kvset::Error &e) {
        ok = ok && e.error() == CT_errorNoSuchKey;
    }
    if (!ok) {
        std::fprintf(stderr, "consumer17: the C++17 interface gave a wrong answer\n");
        return 1;
    }
    return 0;
}
