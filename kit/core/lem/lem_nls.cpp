// NLS seams of the error store. The NLS environment and language-handle work
// replaces each body with the calls named in its comment; until then the
// store runs without an NLS environment or language handle, and its names
// are byte strings.
#include "lem_int.h"

int lemnls_open(lwem_stack *st) {
  // Stands for lxlinit(NULL, 1, status) into st->table, then lxinitc (or
  // lxldini with the default loader callbacks) on the store's own lxglo.
  st->table = nullptr;
  st->own_glo = nullptr;
  return 0;
}

void lemnls_env(lwem_stack *st) {
  // Stands for lxinitc on the store's own lxglo when none is in use.
  (void)st;
}

void lemnls_close(lwem_stack *st) {
  // Stands for lxlterm on the store's own NLS environment.
  st->own_glo = nullptr;
  st->table = nullptr;
}

int lemnls_langid(lwem_stack *st) {
  // Stands for allocating an lxlangid, lxhLaToId(name, 0, handle, 0, glo) or
  // lxhLangEnv(handle, 0, glo) without a name, and lxhlinfo(handle, 61,
  // code, 4, glo) into st->lang_code.
  (void)st;
  return 0;
}

void lemnls_langfree(lwem_stack *st) {
  // Stands for freeing the lxlangid made by lemnls_langid.
  st->lang = nullptr;
}

uint32_t lemnls_lang_flags(const lxlangid *lang) {
  // Stands for reading the flags word of the lxlangid.
  (void)lang;
  return 0;
}
