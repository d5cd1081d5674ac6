// The allocation-failure sweep: for one operation, a dry run counts its
// allocations; then for every N from 1 to that count, in both modes (the Nth
// allocation fails once; every allocation from the Nth on fails), the
// operation runs again on a fresh setup and must report a failure its table
// allows, leave the target set as it was, leave the registry count where it
// was, and (under the sanitizers and valgrind) leak nothing. With N = count + 1
// it must succeed.
#ifndef KVSET_TESTS_UNIT_ALLOC_SWEEP_H
#define KVSET_TESTS_UNIT_ALLOC_SWEEP_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/alloc_internal.h"

namespace sweep {

// What an operation answered.
struct Outcome {
    CTstatus status;
    CTerror error;
};

// A failure the operation's table allows.
struct Allowed {
    CTstatus status;
    CTerror error;
};

struct Row {
    std::string name;
    // Builds what the operation works on; returns the target set (owned by
    // the row's teardown) and may create more sets.
    std::function<CTkvs()> setup;
    // The operation under test, on the target.
    std::function<Outcome(CTkvs target)> operation;
    // Failures the operation may report when an allocation fails.
    std::vector<Allowed> failures;
    // True when a failure may leave pairs stored before it (a merge that
    // stops part way); then the target is only checked to hold no pair it
    // did not hold or receive.
    bool partialAllowed = false;
    // Releases everything setup made (the target included).
    std::function<void(CTkvs target)> teardown;
};

// Rows print as their names in test output.
inline void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }

// A deep snapshot of a set: a registered copy, compared with CTkvs_Match.
CTkvs snapshot(CTkvs kvs);
bool same_content(CTkvs a, CTkvs b);

void run(const Row &row);

}  // namespace sweep

#endif
