// What the calendar files share inside the component: the handle's record,
// and the date library's routines under a begun date context.
#ifndef QEN_KIT_NLS_LXEINT_H
#define QEN_KIT_NLS_LXEINT_H

#include "lxe.h"

namespace lxe {

// The record of the handle's calendar, or NULL when the number has none.
inline const lxecal *record(const lxlangid *h) {
  if (!h || h->cal >= LXE_NCAL) return nullptr;
  return lxetbn[h->cal];
}

}  // namespace lxe

// ---- String operations the calendars and the padding use ---------------------
// Narrow stand-ins (lxe_seams.cpp) for string operations not built yet; each
// names the work that replaces it. They take the operations' own arguments.
extern "C" {
// Copies src[0..len) (to its NUL with LXO_NULTERM) into dst[0..size) without
// splitting a character; returns the bytes copied. Replaced by lxsCpStr [18].
size_t lxsCpStr_seam(void *dst, size_t size, const void *src, size_t len, uint32_t flags,
                     const lxlangid *h, lxglo *glo);
// Copies whole characters from in (at most inmax bytes, to a NUL) to out (at
// most outmax bytes); advances both. Replaced by lxoCpStr [18].
size_t lxoCpStr_seam(lxmcur *out, size_t outmax, lxmcur *in, size_t inmax, uint32_t flags,
                     lxglo *glo);
// 0 when a[0..alen) and b[0..blen) are equal (ignoring case with
// LXE_CMP_NOCASE). Replaced by lxsCmpStr [20].
#define LXE_CMP_NOCASE 0x10000010u
int lxsCmpStr_seam(const void *a, size_t alen, const void *b, size_t blen, uint32_t flags,
                   const lxlangid *h, lxglo *glo);
// Display columns of text[0..len) up to its NUL. Replaced by lxsCntDisp [18].
size_t lxsCntDisp_seam(const void *text, size_t len, uint32_t flags, const lxlangid *h,
                       lxglo *glo);
// Copies whole characters of in, at most cols display columns and outmax
// bytes, to out; stops at in's end or NUL. Returns the bytes written; *used
// receives the columns copied. Replaced by lxoCpDisp [18].
size_t lxoCpDisp_seam(lxmcur *out, size_t outmax, lxmcur *in, size_t cols, size_t *used,
                      lxglo *glo);
// Characters in text[0..len) of the handle's set. Replaced by lxsCntChar [20].
size_t lxsCntChar_seam(const void *text, size_t len, const lxlangid *h, lxglo *glo);
}

#endif
