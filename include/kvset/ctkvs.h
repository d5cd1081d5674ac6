/* ctkvs.h - the C API of the KVSet library.
 *
 * A KV-Set maps 32-bit S.100 key symbols to typed values and is held by an
 * opaque 32-bit handle. This header compiles as C99 and as C++11 or later.
 *
 * Conventions
 *  1. Most functions return a status (CT_statusOK 0, CT_statusWarning 1,
 *     CT_statusFail 3) and write one error symbol (CT_errorOK, ...) through
 *     their last argument. Functions that answer otherwise say so below.
 *  2. A null error reference is refused with status 3; nothing is written.
 *  3. Checks run in this order: error reference, handle, arguments, key. The
 *     first failure writes its symbol and returns; nothing is rolled back.
 *  4. Puts copy what they are given; the KV-Set owns the copy. A put of an
 *     existing key replaces that pair's value and type in place, otherwise the
 *     pair is appended. Nested KV-Sets are stored as deep copies owned by the
 *     pair (they are registered sets and count in MRQkvs_GetNumKVS).
 *     Nesting is limited to KVS_MAX_NESTING levels below the set the caller
 *     created, the depth the block readers and writers accept: a put, copy or
 *     read that would nest deeper (also into a nested set lent by a get) is
 *     refused (puts and copies: 3, CT_errorBadParameter; readers: 3,
 *     CT_errorBadFormat), so every set that exists can be written, read back,
 *     copied, compared, displayed and destroyed, on a 256 KiB thread stack.
 *  5. Gets of single values copy out. Gets of strings, arrays and nested
 *     KV-Sets lend references into the KV-Set: valid until the pair is
 *     replaced, removed or cleared, or the set destroyed. Never free them.
 *  6. Strings are wchar_t strings. Narrow strings are converted in the current
 *     locale by MRQkvs_PutNarrowString (and the C++ overload of
 *     CTkvs_PutString); a string the locale cannot convert is refused.
 *  7. A buffer from MRQkvs_WriteToMemory belongs to the caller, who releases it
 *     with MRQkvs_FreeBuffer.
 *  8. Each KV-Set has one iteration position. Do not use one KV-Set from two
 *     threads at once; different KV-Sets may be used from different threads.
 */
#ifndef KVSET_CTKVS_H
#define KVSET_CTKVS_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "kvset/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ------------------------------------------------------------- */

typedef uint32_t CTkvs;    /* KV-Set handle: never 0, never KVS_HANDLE_RESERVED */
typedef uint32_t CTsymbol; /* S.100 symbol; every value is a valid key */
typedef uint32_t CTerror;  /* error symbol */
typedef uint32_t CTstatus; /* status value */

/* An integer range: lower bound, then upper bound. */
typedef struct struct_Irange {
    int32_t lower;
    int32_t upper;
} struct_Irange;

/* ---- Status values ----------------------------------------------------- */

#define CT_statusOK      ((CTstatus)0)
#define CT_statusWarning ((CTstatus)1)
#define CT_statusStarted ((CTstatus)2) /* not returned by this library */
#define CT_statusFail    ((CTstatus)3)
#define CT_statusFatal   ((CTstatus)4) /* not returned by this library */
#define CT_statusDestroy ((CTstatus)5) /* not returned by this library */

/* ---- Error symbols ----------------------------------------------------- */

#define CT_errorOK           ((CTerror)0x00010050u)
#define CT_errorBadFormat    ((CTerror)0x000A0050u)
#define CT_errorBadHeader    ((CTerror)0x000C0050u)
#define CT_errorBadKey       ((CTerror)0x00110050u) /* never reported */
#define CT_errorInvalidKVSet ((CTerror)0x00120050u)
#define CT_errorEndOfList    ((CTerror)0x003B0050u)
#define CT_errorFileOpen     ((CTerror)0x00430050u)
#define CT_errorOutOfRange   ((CTerror)0x00450050u)
#define CT_errorNoSuchKey    ((CTerror)0x00480050u)
#define CT_errorBadParameter ((CTerror)0x005D0050u)
#define CT_errorNoResource   ((CTerror)0x006E0050u)
#define CT_errorNoMemory     ((CTerror)0x00780050u)

/* ---- Other symbols and constants --------------------------------------- */

#define KVS_HANDLE_RESERVED  ((CTkvs)0x000100B0u)    /* never issued as a handle */
#define CT_keyFirst          ((CTsymbol)0x000200B0u) /* cursor: start at the first pair */
#define MRQ_keyTimeStampSec  ((CTsymbol)0x0D84106Du) /* int: seconds since 1970 (UTC) */
#define MRQ_keyTimeStampMsec ((CTsymbol)0x0DC4106Du) /* int: milliseconds, 0 to 999 */

#define CT_boolFalse  0u
#define CT_boolTrue   1u
#define CT_modeAsync  0u
#define CT_modeSync   1u

/* Keys of the make-call options KV-Set (see mrqMakeCallOptionaArgs.h). */
#define MakeCall_LineDevice          ((CTsymbol)0x0941106Du) /* string */
#define MakeCall_OutboundProxy       ((CTsymbol)0x1246706Du) /* string */
#define MakeCall_CallingNumber       ((CTsymbol)0x04C6206Du) /* string */
#define MakeCall_AuthUserName        ((CTsymbol)0x09C6706Du) /* string */
#define MakeCall_AuthPassword        ((CTsymbol)0x0A46706Du) /* string */
#define MakeCall_FaxMediaFeatureTag  ((CTsymbol)0x1506706Du) /* string */
#define MakeCall_PassertID           ((CTsymbol)0x1106706Du) /* string */
#define MakeCall_RTC                 ((CTsymbol)0x004700A0u) /* nested KV-Set */
#define MakeCall_CPA                 ((CTsymbol)0x0606106Du) /* nested KV-Set */
#define MakeCall_ConnectMask         ((CTsymbol)0x23C6206Du) /* nested KV-Set */
#define MakeCall_DisconnectMask      ((CTsymbol)0x2406206Du) /* nested KV-Set */
#define MakeCall_OutboundOfferMedia  ((CTsymbol)0x07C6706Du) /* symbol array, 1 to 3 */
#define MakeCall_OutboundAcceptMedia ((CTsymbol)0x0846706Du) /* symbol array, 1 to 3 */

/* Serialised blocks: the frame around a memory buffer, the growth step of
 * the encoder's buffer, and the deepest nesting a block, or a set, may hold. */
#define KVS_FRAME_MAGIC   0xC0DEA1DAu
#define KVS_FRAME_TRAILER 0xA138DAD0u
#define KVS_BUFFER_STEP   10240u
#define KVS_MAX_NESTING   64

/* ---- Value type codes -------------------------------------------------- */

typedef enum KVValueType {
    KV_TYPE_BOOL = 11,
    KV_TYPE_CONFERENCE = 12,
    KV_TYPE_GROUP = 14,
    KV_TYPE_INT = 15,
    KV_TYPE_MODE = 16,
    KV_TYPE_SESSION = 18,
    KV_TYPE_SERVICE = 19,
    KV_TYPE_STATUS = 20,
    KV_TYPE_SYMBOL = 21, /* also single error values */
    KV_TYPE_TIME = 22,
    KV_TYPE_UINT = 24,
    KV_TYPE_STREAM = 25,
    KV_TYPE_CHAR = 26,
    KV_TYPE_ERROR = 27, /* never stored: error values are stored as 21 */
    KV_TYPE_CONNECTION = 28,
    KV_TYPE_IRANGE = 60,
    KV_TYPE_KVS = 61,
    KV_TYPE_STRING = 62,
    KV_TYPE_BOOL_ARRAY = 101,
    KV_TYPE_BYTE_ARRAY = 102,
    KV_TYPE_CONFERENCE_ARRAY = 103,
    KV_TYPE_GROUP_ARRAY = 105,
    KV_TYPE_INT_ARRAY = 106,
    KV_TYPE_IRANGE_ARRAY = 107,
    KV_TYPE_KVS_ARRAY = 108,
    KV_TYPE_MODE_ARRAY = 109,
    KV_TYPE_SESSION_ARRAY = 111,
    KV_TYPE_SERVICE_ARRAY = 112,
    KV_TYPE_STATUS_ARRAY = 113,
    KV_TYPE_STRING_ARRAY = 114,
    KV_TYPE_SYMBOL_ARRAY = 115,
    KV_TYPE_ERROR_ARRAY = 117,
    KV_TYPE_CONNECTION_ARRAY = 118,
    KV_TYPE_UINT_ARRAY = 119,
    KV_TYPE_TIME_ARRAY = 120
} KVValueType;

/* ---- Lifecycle and registry -------------------------------------------- */

/* Creates an empty KV-Set and writes its new handle. Status 0 or 1. */
KVS_API CTstatus CTkvs_Create(CTkvs *kvs, CTerror *error);
/* Releases every pair (nested sets too) and unregisters the handle. */
KVS_API CTstatus CTkvs_Destroy(CTkvs kvs, CTerror *error);
/* Returns CT_errorOK or CT_errorInvalidKVSet (a symbol, not a status). */
KVS_API CTerror ValidateKVS(CTkvs kvs);
/* Number of pairs; 0 for an unregistered handle. */
KVS_API int32_t MRQkvs_GetNumPairs(CTkvs kvs);
/* Number of registered KV-Sets, nested copies included. */
KVS_API uint32_t MRQkvs_GetNumKVS(void);
/* Writes up to count registered handles, largest first; 0 past the last. Returns 0. */
KVS_API uint32_t MRQkvs_GetNewestKVSets(CTkvs *handles, int32_t count);
/* Do nothing; return 0. */
KVS_API uint32_t CTkvs_NameString(void);
KVS_API uint32_t CTkvs_ObjectVendor(void);
/* The version of the loaded library, "MAJOR.MINOR.PATCH" (static storage,
 * never freed). KVSET_VERSION_STRING in kvset/version.h is the version of
 * the headers a program was compiled against. */
KVS_API const char *MRQkvs_Version(void);

/* ---- Puts: single values ----------------------------------------------- */

KVS_API CTstatus CTkvs_PutBool(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutConference(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutGroup(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutInt(CTkvs kvs, CTsymbol key, int32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutMode(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutSession(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutService(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutStatus(CTkvs kvs, CTsymbol key, CTstatus value, CTerror *error);
KVS_API CTstatus CTkvs_PutSymbol(CTkvs kvs, CTsymbol key, CTsymbol value, CTerror *error);
/* Stored as a symbol (type 21): CTkvs_GetSymbol reads it too. */
KVS_API CTstatus CTkvs_PutError(CTkvs kvs, CTsymbol key, CTerror value, CTerror *error);
KVS_API CTstatus CTkvs_PutTime(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutUint(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutStream(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutConnection(CTkvs kvs, CTsymbol key, uint32_t value, CTerror *error);
/* One UTF-16 code unit. */
KVS_API CTstatus CTkvs_PutChar(CTkvs kvs, CTsymbol key, uint16_t value, CTerror *error);
KVS_API CTstatus CTkvs_PutIrange(CTkvs kvs, CTsymbol key, int32_t lower, int32_t upper, CTerror *error);
KVS_API CTstatus CTkvs_PutIRange(CTkvs kvs, CTsymbol key, int32_t lower, int32_t upper, CTerror *error);

/* ---- Puts: strings and nested sets ------------------------------------- */

/* Stores a copy of a wide string; null stores an absent string. */
KVS_API CTstatus CTkvs_PutString(CTkvs kvs, CTsymbol key, const wchar_t *value, CTerror *error);
/* Converts a narrow string in the current locale and stores it; a string
 * that cannot be converted is refused (3, CT_errorBadParameter). */
KVS_API CTstatus MRQkvs_PutNarrowString(CTkvs kvs, CTsymbol key, const char *value, CTerror *error);
/* Stores a deep copy of the KV-Set `nested`; the caller keeps its own. A copy
 * that would nest deeper than KVS_MAX_NESTING is refused (3,
 * CT_errorBadParameter; see conventions, 4). */
KVS_API CTstatus CTkvs_PutKVS(CTkvs kvs, CTsymbol key, CTkvs nested, CTerror *error);

/* ---- Puts: arrays -----------------------------------------------------
 * A null element reference with a count above 0, or a count whose size in
 * bytes does not fit in 32 bits, is refused (3, CT_errorBadParameter). The
 * mode, service and range arrays also refuse a count of 0. */

KVS_API CTstatus CTkvs_PutBoolArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutByteArray(CTkvs kvs, CTsymbol key, const uint8_t *bytes, uint32_t size, CTerror *error);
KVS_API CTstatus CTkvs_PutCONFArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutGRPArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutGroupArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutIntArray(CTkvs kvs, CTsymbol key, const int32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutIrangeArray(CTkvs kvs, CTsymbol key, const struct_Irange *ranges, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutIRangeArray(CTkvs kvs, CTsymbol key, const struct_Irange *ranges, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutModeArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutSESArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutSessionArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutServiceArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutStatusArray(CTkvs kvs, CTsymbol key, const CTstatus *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutSymbolArray(CTkvs kvs, CTsymbol key, const CTsymbol *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutErrorArray(CTkvs kvs, CTsymbol key, const CTerror *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutCONNArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutUintArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
KVS_API CTstatus CTkvs_PutTimeArray(CTkvs kvs, CTsymbol key, const uint32_t *elements, uint32_t count, CTerror *error);
/* Each element may be null (an absent string); elements are copied. */
KVS_API CTstatus CTkvs_PutStringArray(CTkvs kvs, CTsymbol key, const wchar_t *const *strings, uint32_t count, CTerror *error);
/* Each non-zero handle is deep-copied; 0 stores an empty element. */
KVS_API CTstatus CTkvs_PutKVSArray(CTkvs kvs, CTsymbol key, const CTkvs *handles, uint32_t count, CTerror *error);

/* ---- Gets: single values -----------------------------------------------
 * A get finds the pair with the key and exactly its own type code; a pair of
 * another type is CT_errorNoSuchKey (status 1). Gets never move the cursor. */

KVS_API CTstatus CTkvs_GetBool(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetConference(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetGroup(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetInt(CTkvs kvs, CTsymbol key, int32_t *value, CTerror *error);
/* Null value reference: 3, CT_errorNoResource. */
KVS_API CTstatus CTkvs_GetMode(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetSession(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
/* Null value reference: 3, CT_errorNoResource. */
KVS_API CTstatus CTkvs_GetService(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetStatus(CTkvs kvs, CTsymbol key, CTstatus *value, CTerror *error);
KVS_API CTstatus CTkvs_GetSymbol(CTkvs kvs, CTsymbol key, CTsymbol *value, CTerror *error);
KVS_API CTstatus CTkvs_GetError(CTkvs kvs, CTsymbol key, CTerror *value, CTerror *error);
KVS_API CTstatus CTkvs_GetTime(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetUint(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetStream(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetConnection(CTkvs kvs, CTsymbol key, uint32_t *value, CTerror *error);
KVS_API CTstatus CTkvs_GetChar(CTkvs kvs, CTsymbol key, uint16_t *value, CTerror *error);
/* Null range reference: 1, CT_errorNoResource. */
KVS_API CTstatus CTkvs_GetIrange(CTkvs kvs, CTsymbol key, struct_Irange *range, CTerror *error);
KVS_API CTstatus CTkvs_GetIRange(CTkvs kvs, CTsymbol key, struct_Irange *range, CTerror *error);

/* ---- Gets: borrowed strings, nested sets and arrays -------------------- */

/* Lends the stored string; null for an absent string. */
KVS_API CTstatus CTkvs_GetString(CTkvs kvs, CTsymbol key, wchar_t **value, CTerror *error);
/* Lends the nested set's handle (not a copy: do not destroy it). */
KVS_API CTstatus CTkvs_GetKVS(CTkvs kvs, CTsymbol key, CTkvs *nested, CTerror *error);

/* Array gets lend the stored block and write its element count (bytes for the
 * byte array, ranges for the range array). The mode, service and range array
 * gets refuse null out-references (3, CT_errorBadParameter). */
KVS_API CTstatus CTkvs_GetBoolArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetByteArray(CTkvs kvs, CTsymbol key, uint8_t **bytes, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetCONFArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetGRPArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetGroupArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetIntArray(CTkvs kvs, CTsymbol key, int32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetIrangeArray(CTkvs kvs, CTsymbol key, struct_Irange **ranges, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetIRangeArray(CTkvs kvs, CTsymbol key, struct_Irange **ranges, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetModeArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetSESArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetSessionArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetSrvArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetStatusArray(CTkvs kvs, CTsymbol key, CTstatus **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetSymbolArray(CTkvs kvs, CTsymbol key, CTsymbol **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetErrorArray(CTkvs kvs, CTsymbol key, CTerror **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetCONNArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetUintArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetTimeArray(CTkvs kvs, CTsymbol key, uint32_t **elements, int32_t *count, CTerror *error);
KVS_API CTstatus CTkvs_GetStringArray(CTkvs kvs, CTsymbol key, wchar_t ***strings, int32_t *count, CTerror *error);
/* Fails with 3, CT_errorInvalidKVSet at the first element that is not a valid
 * set (an empty element included); count and reference are written first. */
KVS_API CTstatus CTkvs_GetKVSArray(CTkvs kvs, CTsymbol key, CTkvs **handles, int32_t *count, CTerror *error);

/* ---- Iteration, type query, removal, clear, copy, match ---------------
 * The KV-Set's one cursor (its current pair) is moved by puts (to the pair
 * stored), CTkvs_GetType (the pair found), the walks (the pair delivered),
 * CTkvs_Remove (the pair after the last one removed) and CTkvs_Clear (none). */

/* *key = CT_keyFirst starts at the first pair; any other value continues
 * after the current pair. Writes the delivered pair's key and type code.
 * End of the list: 1, CT_errorEndOfList. */
KVS_API CTstatus CTkvs_GetNextKey(CTkvs kvs, CTsymbol *key, uint32_t *type, CTerror *error);
/* As CTkvs_GetNextKey; also writes the element count and sets *cursor to the
 * delivered key. */
KVS_API CTstatus CTkvs_GetNext(CTkvs kvs, CTsymbol *cursor, CTsymbol *key, uint32_t *type, int32_t *count, CTerror *error);
/* A walk that leaves the cursor where it is: writes the key and type code of
 * the first pair (previous null) or of the pair after the pair with the key
 * *previous. End of the list: 1, CT_errorEndOfList; no pair with the key
 * *previous: 1, CT_errorNoSuchKey; null key or type reference: 3,
 * CT_errorBadParameter. */
KVS_API CTstatus MRQkvs_PairAfter(CTkvs kvs, const CTsymbol *previous, CTsymbol *key, uint32_t *type, CTerror *error);
/* As CTkvs_GetType, leaving the cursor where it is. No pair with the key: 1,
 * CT_errorNoSuchKey; null type reference: 3, CT_errorBadParameter. */
KVS_API CTstatus MRQkvs_TypeOf(CTkvs kvs, CTsymbol key, uint32_t *type, CTerror *error);
/* Writes the type code of the pair with the key (any type) and makes it current. */
KVS_API CTstatus CTkvs_GetType(CTkvs kvs, CTsymbol key, uint32_t *type, CTerror *error);
/* Removes the pairs of the first `number` keys; absent keys are skipped. */
KVS_API CTstatus CTkvs_Remove(CTkvs kvs, const CTsymbol *keys, int32_t number, CTerror *error);
/* Removes every pair; the set stays registered. */
KVS_API CTstatus CTkvs_Clear(CTkvs kvs, CTerror *error);
/* Merges every pair of source into target (replace in place or append).
 * Stops at the first put that fails and returns its status and symbol; the
 * pairs copied before it stay. */
KVS_API CTstatus CTkvs_Copy(CTkvs target, CTkvs source, CTerror *error);
/* *result = 1 when both sets hold equal pairs in the same order, else 0. */
KVS_API CTstatus CTkvs_Match(CTkvs first, CTkvs second, uint32_t *result, CTerror *error);

/* ---- Time stamps -------------------------------------------------------- */

/* Puts MRQ_keyTimeStampSec and MRQ_keyTimeStampMsec with the current time. Returns 0. */
KVS_API uint32_t MRQkvs_TimeStamp(CTkvs kvs);
/* Seconds since the stamp; 3 (nothing written) when the set has no stamp. */
KVS_API uint32_t MRQkvs_TimeDelta(CTkvs kvs, double *elapsed);

/* ---- Serialisation ------------------------------------------------------
 * A memory buffer is the KV-Set block framed by KVS_FRAME_MAGIC and the total
 * length in front and KVS_FRAME_TRAILER behind. A file holds one bare block,
 * with 4-byte characters and no string width byte. Reading merges into an
 * existing KV-Set: pairs of the same key are replaced in place. */

/* Encodes kvs into a new framed buffer; release it with MRQkvs_FreeBuffer. */
KVS_API CTstatus MRQkvs_WriteToMemory(uint8_t **buffer, CTkvs kvs, uint32_t *length, CTerror *error);
/* Decodes the block at buffer (8 bytes into a framed buffer) into kvs. */
KVS_API CTstatus MRQkvs_ReadFromMemory(CTkvs kvs, const uint8_t *buffer, uint32_t length, CTerror *error);
/* Releases a buffer from MRQkvs_WriteToMemory. Returns 0. */
KVS_API uint32_t MRQkvs_FreeBuffer(uint8_t *buffer);
/* Writes kvs as a file block, replacing the file whole: the block goes to a
 * new temporary file in the same directory (".<name>.XXXXXX"), is synced to
 * the disk and renamed over the file. A failed write (3, CT_errorNoResource),
 * a set refused half-way, a full disk or a killed process leaves the previous
 * file as it was and removes the temporary (a killed process may leave its
 * temporary behind); readers and concurrent writers meet one whole block.
 * A rewrite needs room for both files at once.
 * - A replaced file keeps its permission bits; a new one gets 0666 less the
 *   umask, as fopen gives. The owner is the writer's; other hard links of a
 *   replaced file keep the old content.
 * - A symbolic link stays: the file it names is replaced (or created).
 * - A FIFO or a device (/dev/stdout, /dev/null), a file the caller may not
 *   write, and a file in a directory where no temporary can be made (or whose
 *   rename is refused) are opened and written directly (created or
 *   truncated): such a write can still be cut short.
 * A name that cannot be opened or created is CT_errorFileOpen; a file whose
 * temporary finds no room on the disk is CT_errorNoResource, untouched. */
KVS_API CTstatus CTkvs_WriteFile(CTkvs kvs, const wchar_t *fileName, uint32_t ignored, CTerror *error);
/* Reads a file block into kvs. */
KVS_API CTstatus CTkvs_ReadFile(CTkvs kvs, const wchar_t *fileName, uint32_t ignored, CTerror *error);

/* ---- Diagnostics -------------------------------------------------------- */

/* Appends a readable dump to Logs/kvs_log.txt (standard output when that
 * file cannot be opened). */
KVS_API void MRQkvs_Display(CTkvs kvs);
/* Appends "prefix key = value ;\n" per pair to the terminated string in
 * text[size] (booleans, integers, symbols and strings; other types are named
 * as unsupported). Cut silently when full; always terminated. */
KVS_API void MRQKvs_AsText(CTkvs kvs, wchar_t *text, int32_t size, const wchar_t *prefix);
/* Deep comparison in list order: 0 when equal (a set that is a leading part
 * of the other counts as equal), 1 when the sets differ, -1 when a handle is
 * invalid or a pair has no known type (CT_errorInvalidKVSet). A failed
 * comparison of an element of a KV-Set array gives 1 with
 * CT_errorInvalidKVSet. A null error reference gives -1. */
KVS_API int32_t MRQkvs_Compare(CTkvs kvs1, CTkvs kvs2, CTerror *error);

/* ---- Pair-list helpers kept for compatibility -------------------------- */

struct KVPairNode;
/* Unlinks and frees one node (not its value); returns the node after it. */
KVS_API struct KVPairNode *delete_node(struct KVPairNode *node);
/* Does nothing. */
KVS_API void dump_line(void);

#ifdef __cplusplus
} /* extern "C" */

/* Narrow-string put for C++ callers: the argument's type chooses the
 * conversion, exactly as MRQkvs_PutNarrowString. */
inline CTstatus CTkvs_PutString(CTkvs kvs, CTsymbol key, const char *value, CTerror *error)
{
    return MRQkvs_PutNarrowString(kvs, key, value, error);
}
#endif

#endif /* KVSET_CTKVS_H */
