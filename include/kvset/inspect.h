/* inspect.h - looking inside KV-Sets: the JSON form, the tree, the diff.
 *
 * C++ only (C++11 or later). Nothing here throws: each function answers with
 * true or false, and on false writes one readable line to *error.
 *
 * Reading a set (toJson, renderTree, diff) changes nothing in it: the
 * iteration position of the set and of every set nested in it stays where it
 * was, so a walk with CTkvs_GetNext may inspect the set midway and go on.
 */
#ifndef KVSET_INSPECT_H
#define KVSET_INSPECT_H

#include <cstddef>
#include <string>
#include <vector>

#include "kvset/ctkvs.h"
#include "kvset/export.h"

namespace kvset {

/* ---- JSON form ----------------------------------------------------------
 * A set is a JSON array of {"key": K, "type": T, "value": V} objects in list
 * order; docs/json.md gives every type's value form. The text is canonical:
 * equal sets give the same text, and text from toJson read by fromJson and
 * written again gives the same text back. */

/* Writes the JSON text of kvs (UTF-8, ending with a newline). Fails when kvs
 * or a set nested in it is not a valid KV-Set. */
KVS_API bool toJson(CTkvs kvs, std::string *json, std::string *error);

/* Builds a new registered KV-Set from JSON text; the caller destroys it with
 * CTkvs_Destroy. Refused text (syntax, unknown type name, a value of the wrong
 * shape or out of range, a key used twice in one set, a member name twice in
 * one object) gives an error that starts with the JSON path of the fault,
 * "$[2].value[1]: ...", and leaves no KV-Set registered; *kvs is then 0.
 * Input quoted in the error is cut after 60 characters. */
KVS_API bool fromJson(const std::string &json, CTkvs *kvs, std::string *error);

/* ---- Blocks --------------------------------------------------------------
 * A block comes in two variants: the memory variant (a framed buffer from
 * MRQkvs_WriteToMemory, or the bare block inside one) and the file variant
 * (what CTkvs_WriteFile writes). Offsets count bytes from the start of the
 * input, frame included. */

enum class BlockFormat {
    Auto,   /* the frame magic means a memory buffer; a bare block is tried as
               a file block, then as a memory block */
    Memory,
    File
};

struct BlockInfo {
    BlockFormat format;  /* Memory or File: the variant that was read */
    bool framed;         /* a memory buffer with its frame */
    std::size_t size;    /* bytes of input */
    std::vector<std::size_t> recordOffsets; /* every pair record, nested ones
                                               included, in stream order */
};

struct BlockFault {
    BlockFormat format;  /* the variant the fault was found in */
    bool framed;
    std::size_t offset;  /* where the faulty field starts */
    long record;         /* index of the pair record in stream order (nested
                            records counted), -1 outside any record */
    std::string path;    /* key path of that record, "" outside any record */
    std::string reason;
};

/* Checks a block strictly, without side effects (no set stays registered):
 * the frame (magic, length, trailer) when there is one, then the block as
 * the decoder reads it, and also what the decoder would pass over: element
 * sizes and string widths that the writers never write, unknown type codes,
 * a key used twice in one block, strings without their terminator or with
 * a zero inside, bytes after the block. True with *info filled; false with
 * the first fault in *fault. With Auto and no frame, the fault reported is
 * that of the variant that read further. */
KVS_API bool validateBlock(const unsigned char *bytes, std::size_t size, BlockFormat format, BlockInfo *info,
                           BlockFault *fault);

/* Validates, then decodes into a new registered KV-Set that the caller
 * destroys. On false, *kvs is 0 and nothing stays registered. */
KVS_API bool readBlock(const unsigned char *bytes, std::size_t size, BlockFormat format, CTkvs *kvs,
                       BlockInfo *info, BlockFault *fault);

/* What a lenient read gives: the set as the library's readers would hold it
 * (a registered KV-Set that the caller destroys, even after a fault; 0 only
 * when none could be made), every finding strict validation would refuse
 * that the readers pass over, and the fault that ended the read, if any. */
struct DecodeResult {
    CTkvs kvs = 0;
    BlockInfo info{BlockFormat::Auto, false, 0, {}};
    std::vector<BlockFault> warnings; /* in the order they were met */
    bool faulted = false;
    BlockFault fault{BlockFormat::Auto, false, 0, -1, "", ""};
    std::size_t end = 0; /* where the read stopped: past the block (and a
                            frame trailer there) or at the fault */
};

/* Decodes a block exactly as MRQkvs_ReadFromMemory (past a frame's magic and
 * length) and CTkvs_ReadFile read it, and reports what validateBlock would
 * refuse as warnings: element sizes and widths the writers never write,
 * unknown type codes, keys used twice, unterminated strings, a frame length
 * or trailer that does not match, bytes after the block. On a fault the set
 * holds the pairs read before it. True when the read reached the end without
 * a fault (warnings or not). With Auto and no frame, the variant that reads
 * cleanly, else the one that read further. */
KVS_API bool decodeBlock(const unsigned char *bytes, std::size_t size, BlockFormat format, DecodeResult *result);

/* ---- Scanning -----------------------------------------------------------
 * Finds blocks inside arbitrary bytes (a capture, a core, a log's payload):
 * every frame magic starts a memory buffer candidate, every block marker not
 * inside a candidate already read whole (its nested blocks, or the block of a
 * frame) a bare block candidate, tried as a file block, then as a memory
 * block. Candidates may overlap. */

enum class ScanVerdict {
    Valid,     /* validates strictly over its length */
    Invalid,   /* reads to its end, but strict validation refuses it */
    Truncated  /* the read stops at a fault before the block ends: cut short,
                  or bytes that are not part of it (a packet boundary) */
};

struct ScanCandidate {
    std::size_t offset;  /* of the frame magic or the marker in the input */
    BlockFormat format;  /* Memory or File */
    bool framed;
    std::size_t length;  /* the frame's length; for a bare block the bytes
                            read (to the fault when truncated) */
    long long pairs;     /* the top block's pair count, -1 when cut off */
    ScanVerdict verdict;
    BlockFault fault;    /* Invalid: the first strict fault; Truncated: where
                            the read stopped. Offsets into the whole input. */
};

/* Appends every candidate in input order. False only on exhausted memory. */
KVS_API bool scanBlocks(const unsigned char *bytes, std::size_t size, std::vector<ScanCandidate> *found,
                        std::string *error);

/* "valid", "invalid", "truncated". */
KVS_API const char *scanVerdictName(ScanVerdict verdict);

/* Encodes kvs: Memory gives the framed buffer of MRQkvs_WriteToMemory, File
 * the block of CTkvs_WriteFile. Auto is refused. */
KVS_API bool writeBlock(CTkvs kvs, BlockFormat format, std::vector<unsigned char> *bytes, std::string *error);

/* Writes size bytes as the whole content of the file at path, replacing it
 * the way CTkvs_WriteFile does (see there): a synced temporary file beside it
 * is renamed over it, so that a failure leaves the previous file as it was.
 * Links, permission bits and targets that are not regular files are treated
 * as CTkvs_WriteFile treats them. A failure's error reads "cannot write
 * '<path>': <reason>" ("no input bytes" for null bytes with a size). */
KVS_API bool writeFile(const std::string &path, const unsigned char *bytes, std::size_t size, std::string *error);

/* "memory buffer" (framed), "memory block" (bare), "file block". */
KVS_API const char *blockFormatName(BlockFormat format, bool framed);

/* One line: "file block: offset 57 (0x39), record 3 (MakeCall_CPA/
 * 0x00000001): string record of 40 units runs past the end (12 bytes left)". */
KVS_API std::string formatFault(const BlockFault &fault);

/* ---- Names ----------------------------------------------------------------
 * A site's own names for symbols (docs/names.md): one "NAME = 0xVALUE" a
 * line with # comments, or a JSON object {"NAME": "0xVALUE", ...}. They come
 * before the symbol library's names wherever inspection prints a symbol (the
 * tree, JSON, diff and fault paths) and are accepted wherever it reads one
 * (fromJson). */

/* Adds the names in text to the process's table (names already loaded stay;
 * a later file's name for a value already named does not replace it). Refused
 * text, with nothing added: a line that is not NAME = 0xVALUE, a bad name or
 * value, a name that two entries give different values; the error names the
 * source and the line(s): "names.txt line 3: ...", "names.txt lines 2 and 7:
 * the name X is given two values, 0x00000001 and 0x00000002". */
KVS_API bool loadNames(const std::string &text, const std::string &source, std::string *error);

/* Forgets every loaded name. */
KVS_API void clearNames();

/* ---- Tree ----------------------------------------------------------------
 * One line a pair, "key (type): value", nested sets indented by two spaces,
 * each element of a KV-Set array on its own line as "[i]: n pairs". */
KVS_API bool renderTree(CTkvs kvs, std::string *text, std::string *error);
/* The same for a set read by readBlock, each pair line led by the byte
 * offset of its record. */
KVS_API bool renderTree(CTkvs kvs, const BlockInfo &block, std::string *text, std::string *error);

/* The tree with options: at most maxElements elements of each array (0, the
 * default: all), the rest as "... 12 more" (a KV-Set array's elements as
 * lines, other arrays inside their brackets); with utcTimes, each CTtime
 * value followed by its UTC time read as seconds since 1970,
 * "1700000000 (2023-11-14T22:13:20Z)". block may be null (no offsets). */
struct TreeOptions {
    std::size_t maxElements = 0;
    bool utcTimes = true;
};
KVS_API bool renderTree(CTkvs kvs, const BlockInfo *block, const TreeOptions &options, std::string *text,
                        std::string *error);

/* ---- Diff ----------------------------------------------------------------
 * Every difference between two sets, not only the first. A key path names
 * where: keys by name (or 0x and 8 hex digits) joined with '/', array
 * elements as [i]: "MakeCall_CPA/0x00010003", "0x00000009[2]/0x00000001". */

enum class DiffKind {
    OnlyInFirst,     /* the key (or array element) is only in the first set */
    OnlyInSecond,    /* ... only in the second set */
    TypeDiffers,     /* both have the key, with different types */
    ValueDiffers,    /* same key and type, different value */
    PositionDiffers  /* the pair stands elsewhere in the list order */
};

struct Difference {
    DiffKind kind;
    std::string path;
    std::string first;  /* the first set's side, as text; empty when it has none */
    std::string second; /* the second set's side */
};

/* Lists every difference in the first set's order, then the pairs only in
 * the second. Nested sets and arrays are compared element by element; a
 * pair counts as moved when it is not part of the longest run of shared
 * keys that both sets hold in the same order. */
KVS_API bool diff(CTkvs first, CTkvs second, std::vector<Difference> *differences, std::string *error);

/* "only in first", "only in second", "type differs", "value differs",
 * "position differs". */
KVS_API const char *diffKindName(DiffKind kind);

/* One line: "MakeCall_CallingNumber: value differs: \"100\" vs \"200\"". */
KVS_API std::string formatDifference(const Difference &difference);

} /* namespace kvset */

#endif /* KVSET_INSPECT_H */
