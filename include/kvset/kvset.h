/* kvset.h - every public header of the KVSet library. */
#ifndef KVSET_KVSET_H
#define KVSET_KVSET_H

#include "kvset/ctkvs.h"
#include "kvset/ctsym.h"
#include "kvset/inspect_c.h"
#include "kvset/version.h"

#ifdef __cplusplus
#include "kvset/CxException.h"
#include "kvset/CxS100Exception.h"
#include "kvset/KVSetException.h"
#include "kvset/KVSet.h"
#include "kvset/mrqMakeCallOptionaArgs.h"
#include "kvset/inspect.h"
#endif

#endif /* KVSET_KVSET_H */
