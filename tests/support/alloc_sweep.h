// The allocation-failure sweep: for one operation, a dry run counts its
// allocations; then for every N from 1 to that count, in both modes (the Nth
// allocation fails once; every allocation from the Nth on fails), the
// operation runs again on a fresh setup and must
//   - report a failure its table allows, or succeed with the complete result
//     (an absorbed failure, for example of the key index, is not a failure);
//   - leave the target set as it was: its encoding, taken with injection
//     off, is byte for byte the one taken before the call. Rows whose table
//     keeps the pairs stored before a failure (decoders, copy) may instead
//     hold the pairs they held, each as it was or as the complete result has
//     it, followed by some of the new pairs in order;
//   - leave MRQkvs_GetNumKVS where it was (and where setup found it once
//     teardown ran);
//   - leak nothing: the seam's count of live blocks is back where it was.
// With N = count + 1 the operation must succeed. Rows may fix the one answer
// for each failing allocation, and ask for an allocation per pair added.
#ifndef KVSET_TESTS_SUPPORT_ALLOC_SWEEP_H
#define KVSET_TESTS_SUPPORT_ALLOC_SWEEP_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "kvset/ctkvs.h"
#include "store/alloc_internal.h"

namespace sweep {

// What an operation answered, and what it produced besides the target (a
// buffer, a file, a log, a text), as bytes; empty when nothing.
struct Outcome {
    CTstatus status = CT_statusOK;
    CTerror error = CT_errorOK;
    std::string product;
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
    // True when a failure keeps the pairs stored before it (a merge that
    // stops part way).
    bool partialAllowed = false;
    // Releases everything setup made (the target included).
    std::function<void(CTkvs target)> teardown;
    // Optional, run with injection off right after the operation: completes
    // the outcome from what the operation kept (a product that cannot be
    // measured while allocations fail) and releases what it kept.
    std::function<void(CTkvs target, Outcome &outcome)> after;
    // Optional, run with injection off after the operation: makes values
    // that differ from run to run (time stamps) comparable.
    std::function<void(CTkvs target)> settle;
    // Optional, run with injection off after a successful operation: the
    // product it must have made. Without it the product of the dry run is
    // expected (rows whose product names the target's handle need this).
    std::function<std::string(CTkvs target)> expectedProduct;
    // False for operations that must not take heap memory at all.
    bool allocates = true;
    // Optional, for rows whose answer depends on which allocation fails: the
    // one answer allowed when allocation n of the dry run's `count` fails
    // once.
    std::function<Allowed(std::uint64_t n, std::uint64_t count)> answerAt;
    // True when every pair the operation adds takes an allocation of its own
    // (a node), so it makes at least as many allocations as it adds pairs.
    bool nodePerPair = false;
};

// Rows print as their names in test output.
inline void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }

// The set's encoding: its memory block, or (for a set holding an empty
// KV-Set array element, which only the file writer writes) "F" and its file
// block. Taken with injection off; "<invalid>" for an unregistered handle.
std::string encoding(CTkvs kvs);

// The set's pairs in list order: key and a rendering of the value.
using Pairs = std::vector<std::pair<CTsymbol, std::string>>;
Pairs pairs_of(CTkvs kvs);

// True when `after` is `before` merged with a prefix of what `complete`
// added or replaced: every pair of `before` is kept in place, as it was or as
// `complete` has it, and the pairs it did not hold follow in the order of
// `complete`. Explains the first difference in *why.
bool partial_merge(const Pairs &before, const Pairs &complete, const Pairs &after, std::string *why);

void run(const Row &row);

}  // namespace sweep

#endif
