// Internal entry points of the inspection API, for the exported wrappers in
// api.cc and for tests.
#ifndef KVSET_SRC_INSPECT_INSPECT_INTERNAL_H
#define KVSET_SRC_INSPECT_INSPECT_INTERNAL_H

#include <vector>

#include "inspect/snapshot.h"
#include "kvset/inspect.h"

namespace kvs {
namespace inspect {

// Appends every difference between a and b.
void diff_sets(const Set &a, const Set &b, std::vector<kvset::Difference> *out);

}  // namespace inspect
}  // namespace kvs

#endif
