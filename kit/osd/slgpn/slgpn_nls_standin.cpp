// Stand-ins for NLS string operations not built yet (see the header).
#include "slgpn_nls_standin.h"

#include <string.h>

uint32_t slgpn_peekchar(lxmcur *cur, size_t *len, lxglo *glo) {
  lxmskps(cur, glo);
  lxmcur probe = *cur;
  unsigned char *from = probe.pos;
  size_t n = lxmfwdx(&probe, glo);
  // Shift bytes after the character are not part of it.
  if (cur->shift_sensitive && cur->langid != nullptr)
    while (n > 1 && (from[n - 1] == cur->langid->shift_in || from[n - 1] == cur->langid->shift_out))
      --n;
  if (n == 0) n = 1;
  if (n > 4) n = 4;
  uint32_t wide = 0;
  for (size_t i = 0; i < n; ++i) wide = wide << 8 | from[i];
  *len = n;
  return wide;
}

int slgpn_isascii(uint32_t wide, size_t len, char c) {
  return len == 1 && wide == static_cast<unsigned char>(c);
}

size_t slgpn_cntchar(const char *text, const lxlangid *langid, lxglo *glo) {
  lxmcur cur;
  const size_t bytes = strlen(text);
  lxmopen(text, bytes, &cur, langid, glo, 0);
  size_t count = 0;
  while (lxmleft(&cur) > 0) {
    lxmskps(&cur, glo);
    if (lxmleft(&cur) == 0) break;
    lxmfwdx(&cur, glo);
    ++count;
  }
  return count;
}
