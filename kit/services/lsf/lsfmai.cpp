// Entry routine of the formatting package "lsf", as the executable's static
// package table names it.
#include "lpm.h"
#include "lsf_ctx.h"

extern "C" int lsfmai(lpm_product *prod, void *priv, int mode, int r1, int r2) {
  (void)r1;
  (void)r2;
  if (mode == LPM_ENTRY_TERM) return 0;
  if (mode != LPM_ENTRY_INIT || !prod) return -1;
  prod->m.ready = 1;
  if (!priv) priv = lpmmkpri(prod, sizeof(lsf_pkgarea));
  if (!priv) return -1;
  lpm_funcs *iface = lpmarrfuncs(prod, priv, 0, nullptr);
  if (!iface) return -1;
  auto area = static_cast<lsf_pkgarea *>(priv);
  area->product = prod;
  area->iface = iface;
  return 0;
}
