/* inspect_c.h - looking inside KV-Sets from C: validate, JSON, tree, names.
 *
 * The same checks and forms as <kvset/inspect.h>, for C callers and for a
 * debugger's `call`. This header compiles as C99 and as C++11 or later.
 *
 * Conventions
 *  1. The text functions (MRQkvs_ValidateBlock, MRQkvs_ToJson,
 *     MRQkvs_FromJson, MRQkvs_RenderTree) return CT_statusOK or
 *     CT_statusFail. On failure *errorText (*faultText for the validation),
 *     when that reference is not null, gets one readable line of UTF-8
 *     saying why; "out of memory" means the heap ran out, whatever the
 *     input. It is null on success, and also when even that line could not
 *     be allocated. Nothing throws.
 *  2. Every text these functions hand out (JSON, tree, error lines) is a new
 *     zero-terminated UTF-8 string that belongs to the caller, who releases
 *     it with MRQkvs_FreeText, and with nothing else. Out-references are
 *     set to null (or 0 for a handle) first, so a failed call leaves nothing
 *     to release but its error line.
 *  3. The name functions write into the caller's buffer as snprintf does:
 *     at most size - 1 bytes and a terminating zero (nothing when size is 0),
 *     and return the length of the whole name, so a caller can size the
 *     buffer with a first call of size 0 (an exhausted heap gives the empty
 *     name and 0).
 *  4. Reading a set (MRQkvs_ToJson, MRQkvs_RenderTree) changes nothing in
 *     it: the iteration position of the set and of every set nested in it
 *     stays where it was.
 *  5. MRQkvs_ReadFramedBuffer follows the conventions of ctkvs.h: a status
 *     and one error symbol through its last argument.
 */
#ifndef KVSET_INSPECT_C_H
#define KVSET_INSPECT_C_H

#include <stddef.h>
#include <stdint.h>

#include "kvset/ctkvs.h"
#include "kvset/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The variant of a block, for the format argument of MRQkvs_ValidateBlock
 * (an integer there, so that any value a caller passes is defined; others
 * are refused). */
typedef enum KVBlockFormat {
    KV_BLOCK_AUTO = 0,   /* the frame magic means a memory buffer; a bare block
                            is tried as a file block, then as a memory block */
    KV_BLOCK_MEMORY = 1, /* a framed buffer from MRQkvs_WriteToMemory, or the
                            bare block inside one */
    KV_BLOCK_FILE = 2    /* what CTkvs_WriteFile writes */
} KVBlockFormat;

/* Checks size bytes strictly as a block of the given format, without side
 * effects: the frame (magic, length, trailer) when there is one, then
 * everything the decoder reads and what it would pass over (element sizes
 * and string widths the writers never write, unknown type codes, a key used
 * twice in one block, strings without their terminator, bytes after the
 * block). CT_statusOK when the block is sound. Otherwise CT_statusFail;
 * *faultOffset (when not null) gets the offset of the faulty field, counted
 * from the start of the input, frame included (0 when the failure is none of
 * the block's, "out of memory"), and *faultText the line
 * "memory buffer: offset 70 (0x46), record 1 (MakeCall_RTC/0x1B80706D[0]):
 * element size 9 for a CTsymbol[] (4 expected)". */
KVS_API CTstatus MRQkvs_ValidateBlock(const uint8_t *bytes, size_t size, uint32_t format,
                                      size_t *faultOffset, char **faultText);

/* Writes the JSON text of kvs (the form of docs/json.md, canonical, ending
 * with a newline) to *json. Fails when kvs or a set nested in it is not a
 * valid KV-Set. */
KVS_API CTstatus MRQkvs_ToJson(CTkvs kvs, char **json, char **errorText);

/* Builds a new registered KV-Set from zero-terminated JSON text; the caller
 * destroys it with CTkvs_Destroy. Refused text gives an error line that
 * starts with the JSON path of the fault ("$[2].value[1]: ...") and leaves no
 * KV-Set registered; *kvs is then 0. */
KVS_API CTstatus MRQkvs_FromJson(const char *json, CTkvs *kvs, char **errorText);

/* Writes kvs as a tree to *text: one line a pair, "key (type): value",
 * nested sets indented by two spaces. */
KVS_API CTstatus MRQkvs_RenderTree(CTkvs kvs, char **text, char **errorText);

/* The name of a value type code, "CTint[]"; "type 999" for a code the
 * library does not know. See convention 3. */
KVS_API size_t MRQkvs_TypeName(uint32_t type, char *name, size_t size);

/* The name of an error symbol, "CT_errorBadFormat"; "0x" and eight
 * upper-case hex digits for a symbol the symbol library does not name. See
 * convention 3. */
KVS_API size_t MRQkvs_ErrorName(CTerror error, char *name, size_t size);

/* Reads a memory buffer exactly as MRQkvs_WriteToMemory returned it, frame
 * included, into kvs (merging as MRQkvs_ReadFromMemory does). A buffer
 * shorter than the frame, or whose magic, length field (which must equal
 * length) or trailer is wrong, is refused with 3, CT_errorBadHeader before
 * anything is read; a null buffer is 3, CT_errorBadParameter. The block
 * inside a sound frame is read as MRQkvs_ReadFromMemory reads it, with the
 * same answers (a malformed block: 3, CT_errorBadFormat). */
KVS_API CTstatus MRQkvs_ReadFramedBuffer(CTkvs kvs, const uint8_t *buffer, uint32_t length, CTerror *error);

/* Releases a text from this header's functions. Null is ignored. */
KVS_API void MRQkvs_FreeText(char *text);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KVSET_INSPECT_C_H */
