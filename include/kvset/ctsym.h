/* ctsym.h - the symbol naming service of the symbol library. */
#ifndef KVSET_CTSYM_H
#define KVSET_CTSYM_H

#include <stdint.h>
#include <wchar.h>

#if defined(__GNUC__) || defined(__clang__)
#  define S100_API __attribute__((visibility("default")))
#else
#  define S100_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the name of `symbol` into the caller's buffer *name: at most
 * *capacity characters, always terminated (the buffer holds *capacity + 1).
 * Known symbols get their name ("CT_errorNoSuchKey"); any other is named
 * "0x" and eight upper-case hex digits. *name keeps addressing the caller's
 * buffer. `context` is unused. Status 0 with CT_errorOK (0x00010050); null
 * references give 3 with CT_errorBadParameter where error can be written. */
S100_API uint32_t CTsym_SymbolToName(uint32_t context, uint32_t symbol, wchar_t **name, uint32_t *capacity,
                                     uint32_t *error);

/* The reverse: writes the symbol whose name is `name` (the exact name that
 * CTsym_SymbolToName gives, "CT_errorNoSuchKey"). Status 0 with CT_errorOK;
 * a name the library does not know gives 1 with CT_errorNoSuchKey
 * (0x00480050) and leaves *symbol alone; the "0x..." form is not a name.
 * Null references give 3 with CT_errorBadParameter where error can be
 * written. `context` is unused. */
S100_API uint32_t CTsym_NameToSymbol(uint32_t context, const wchar_t *name, uint32_t *symbol, uint32_t *error);

#ifdef __cplusplus
}
#endif

#endif /* KVSET_CTSYM_H */
