// Stand-in for an NLS string operation not built yet (see the header).
#include "slgpn_nls_standin.h"

#include <stdio.h>

size_t slgpn_numstr(int64_t value, int width, char *buf, size_t size) {
  int n = snprintf(buf, size, "%0*lld", width, static_cast<long long>(value));
  return n < 0 ? 0 : static_cast<size_t>(n);
}
