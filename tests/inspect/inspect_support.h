// Shared helpers of the inspection tests (their fixture is kvs::test::KvsTest).
#ifndef KVSET_TESTS_INSPECT_INSPECT_SUPPORT_H
#define KVSET_TESTS_INSPECT_INSPECT_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvset/kvset.h"
#include "support/fixture.h"

namespace inspect_test {

// A call that must succeed; `error` is read after the call.
#define KVS_OK(call, error)                      \
    do {                                         \
        const CTstatus kvs_status_ = (call);     \
        ASSERT_EQ(kvs_status_, CT_statusOK);     \
        ASSERT_EQ((error), CT_errorOK);          \
    } while (0)

}  // namespace inspect_test

#endif
