// The opt-in report of the sets still registered when the library is
// unloaded: with KVSET_LEAK_REPORT=1 in the environment, one heading and one
// line per set the caller created and never destroyed go to standard error.
// Sets held by a pair of another set are not listed; their owner is.
#ifndef KVSET_SRC_DIAG_LEAK_REPORT_H
#define KVSET_SRC_DIAG_LEAK_REPORT_H

#include <cstddef>
#include <cstdio>

#include "kvset/ctkvs.h"
#include "store/model.h"

namespace kvs {
namespace diag {

// True when KVSET_LEAK_REPORT is "1".
bool leak_report_wanted();

// Whether a registered set belongs in the report (not held by a pair).
inline bool leak_reported(const KVSetHeader &set) { return !set.heldByPair; }

// "kvset: 2 sets still registered at exit"
void write_leak_heading(std::FILE *out, std::size_t count);

// "kvset:   set 3: 2 pairs: MakeCall_LineDevice, 0x00000007": the handle,
// the pair count and the first keys, named as the diagnostics name them.
void write_leaked_set(std::FILE *out, CTkvs handle, const KVSetHeader &set);

}  // namespace diag
}  // namespace kvs

#endif
