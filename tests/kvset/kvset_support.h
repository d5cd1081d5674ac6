// Shared helpers for the tests of the object layer (their fixture is
// kvs::test::KvsTest): a way to capture a thrown KVSetException and compare
// its action, key and code.
#ifndef KVSET_TESTS_KVSET_KVSET_SUPPORT_H
#define KVSET_TESTS_KVSET_KVSET_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kvset/KVSetException.h"
#include "kvset/ctkvs.h"
#include "support/fixture.h"

namespace objtest {

// What a call threw, if it threw a KVSetException.
struct Caught {
    bool thrown = false;
    int code = 0;
    std::vector<std::wstring> arguments;
    std::wstring message;
};

template <class Call>
Caught capture(Call call)
{
    Caught c;
    try {
        call();
    } catch (const KVSetException &e) {
        c.thrown = true;
        c.code = e.code();
        c.arguments = e.arguments();
        c.message = e.asString();
    }
    return c;
}

// The symbol library's name of a key, as the exception carries it.
inline std::wstring symbol_name(unsigned int symbol) { return CxS100Exception().convertCodeToString(static_cast<int>(symbol)); }

inline std::string narrow(const std::wstring &s) { return std::string(s.begin(), s.end()); }

// Expects `c` to be a KVSetException with this action name, key and code.
inline void expect_thrown(const Caught &c, const wchar_t *action, unsigned int key, unsigned int code)
{
    ASSERT_TRUE(c.thrown) << "no KVSetException";
    EXPECT_EQ(static_cast<unsigned int>(c.code), code) << narrow(c.message);
    ASSERT_GE(c.arguments.size(), 2u);
    EXPECT_EQ(c.arguments[0], action);
    EXPECT_EQ(c.arguments[1], symbol_name(key));
}

}  // namespace objtest

#endif
