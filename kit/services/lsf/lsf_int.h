// Internal services of the argument lists: memory from the error store's
// process block, and the NLS operations the list layer calls.
#ifndef QEN_KIT_CORE_LSF_INT_H
#define QEN_KIT_CORE_LSF_INT_H

#include <stddef.h>
#include <stdint.h>

#include "lsf.h"
#include "lxo.h"  // lxsulen


// Memory of a list comes from the memory handle of the error store's process
// block; a store not yet attached to a block uses the process allocator.
void *lsf_alloc(lwem_ctx *errs, size_t size);
void *lsf_calloc(lwem_ctx *errs, size_t size);
void lsf_free(lwem_ctx *errs, void *p);

// Flags word of a language handle (0 for none). Bit 0x4000000: a two-byte
// character set whose texts end with a two-byte NUL.
#define LSF_LANG_TWOBYTE 0x4000000u
uint32_t lsfnls_lang_flags(const lxlangid *lang);

// Converts a NUL-terminated UTF-16 text to an owned UTF-8 copy (allocated with
// lsf_alloc, NUL included); stores the copy and its size with the NUL.
// Returns 0, or -1 when memory ran out.
int lsfnls_utf16_to_utf8(lwem_ctx *errs, const lsf_env *env, const void *text,
                         char **copy, uint64_t *size);

// Largest number of bytes per character of the handle's character set.
int lsfnls_max_char_bytes(const lsf_env *env);

// Copies whole characters of src up to cols display columns into dst (room
// bytes) and terminates the copy as the character set requires.
void lsfnls_copy_display(const lsf_env *env, char *dst, size_t room, const char *src,
                         uint64_t cols);

#endif
