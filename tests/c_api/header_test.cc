// Every public header compiles as C++11 under -pedantic -Werror.
#include "kvset/kvset.h"
#include "kvset/kvset.h"  // and twice
