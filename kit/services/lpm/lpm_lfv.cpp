// The data package's loader that the package manager lends the virtual-file
// layer, which lies below it.
#include <cstring>

#include "lfv.h"
#include "lpm.h"
#include "lpm_int.h"

namespace {

int load_for_lfv(const char *name, const char *lib, const char *sym, lpm_funcs **iface,
                 lfv_lookup *lookup) {
  *iface = nullptr;
  *lookup = nullptr;
  lpm_package d{};
  d.name = const_cast<char *>(name);
  d.name_len = int32_t(std::strlen(name));
  d.lib = const_cast<char *>(lib);
  d.lib_len = int32_t(std::strlen(lib));
  d.sym = const_cast<char *>(sym);
  d.sym_len = int32_t(std::strlen(sym));
  d.entry = nullptr;
  d.flags = LPM_PKG_SHLIB | LPM_PKG_ASIS;

  lpm_product *prod = lpminit();
  if (!prod) return -1;
  auto obj = reinterpret_cast<lpm_meta *>(prod);
  int dup = 0;
  int r = lpmapd(obj, &d, 1, &dup, nullptr);
  // A descriptor left by an earlier attempt that failed later on is reused.
  if (r != 0 && r != -2) return -1;
  lpm_funcs *funcs = lpmloadpkg(obj, name);
  *iface = funcs;
  if (funcs && funcs->count >= 1) *lookup = reinterpret_cast<lfv_lookup>(funcs->funcs[0]);
  return 0;
}

}  // namespace

void lpm_lend_lfv(void) { lfvsetloader(load_for_lfv); }
