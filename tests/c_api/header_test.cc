// Every public header compiles as C++11 under -pedantic -Werror. The class
// headers come first, so each of them is seen before the umbrella pulls in
// what it needs.
#include "kvset/mrqMakeCallOptionaArgs.h"
#include "kvset/KVSet.h"
#include "kvset/KVSetException.h"
#include "kvset/inspect_c.h"
#include "kvset/kvset.h"
#include "kvset/kvset.h"  // and twice
