// Entry routine of the formatting package "lsf", as the executable's static
// package table names it.
#include "lpm.h"

extern "C" int lsfmai(lpm_product *prod, void *priv, int mode, int r1, int r2) {
  (void)r1;
  (void)r2;
  if (mode == LPM_ENTRY_TERM) return 0;
  if (mode != LPM_ENTRY_INIT || !prod) return -1;
  prod->m.ready = 1;
  if (!priv) priv = lpmmkpri(prod, 2 * sizeof(void *));
  if (!priv) return -1;
  lpm_funcs *iface = lpmarrfuncs(prod, priv, 0, nullptr);
  if (!iface) return -1;
  auto words = static_cast<void **>(priv);
  words[0] = prod;
  words[1] = iface;
  return 0;
}
