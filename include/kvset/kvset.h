/* kvset.h - every public header of the KVSet library. */
#ifndef KVSET_KVSET_H
#define KVSET_KVSET_H

#include "kvset/ctkvs.h"

#endif /* KVSET_KVSET_H */
