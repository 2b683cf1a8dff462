// A test package: its entry routine follows the package entry contract, or
// breaks it as the build asks (TPKG_FAIL, TPKG_NOPRIV, TPKG_NOIFACE). The
// interface's one function returns the build's version number.
#include "lpm.h"

extern "C" {

// How often the entry routine ran with each mode; read by the tests.
__attribute__((visibility("default"))) int tpkg_inits = 0;
__attribute__((visibility("default"))) int tpkg_terms = 0;

[[maybe_unused]] static int tpkg_version() { return TPKG_VERSION; }

__attribute__((visibility("default"))) int tpkgInit(lpm_product *prod, void *priv, int mode,
                                                     int, int) {
  if (mode == LPM_ENTRY_TERM) {
    tpkg_terms++;
    return 0;
  }
  if (mode != LPM_ENTRY_INIT) return -1;
  tpkg_inits++;
#ifdef TPKG_FAIL
  (void)prod;
  (void)priv;
  return -1;
#else
#ifndef TPKG_NOPRIV
  if (!priv) priv = lpmmkpri(prod, sizeof(int));
  if (!priv) return -1;
#endif
#ifndef TPKG_NOIFACE
  const lpm_fn fns[] = {reinterpret_cast<lpm_fn>(&tpkg_version)};
  if (!lpmarrfuncs(prod, priv, 1, fns)) return -1;
#endif
  return 0;
#endif
}

}  // extern "C"
