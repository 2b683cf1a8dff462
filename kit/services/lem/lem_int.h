// The NLS operations the error store calls.
#ifndef QEN_KIT_CORE_LEM_INT_H
#define QEN_KIT_CORE_LEM_INT_H

#include <stdint.h>

#include "lem.h"
#include "lxo.h"  // lxsulen


// Loads the shared NLS object table and initialises the store's own NLS
// environment on it; sets table, own_glo and glo. 0, or -1.
int lemnls_open(lwem_stack *st);
// Initialises the store's own NLS environment when it has none in use.
void lemnls_env(lwem_stack *st);
// Terminates the store's own NLS environment and forgets its table.
void lemnls_close(lwem_stack *st);
// Builds the store's language handle from its language name (or from the
// environment without one) and stores the language code. 0, or -1.
int lemnls_langid(lwem_stack *st);
// Releases the store's language handle.
void lemnls_langfree(lwem_stack *st);
// Flags word of a language handle; bit 0x4000000 marks UTF-16 texts.
#define LEM_LANG_UTF16 0x4000000u
uint32_t lemnls_lang_flags(const lxlangid *lang);

#endif
