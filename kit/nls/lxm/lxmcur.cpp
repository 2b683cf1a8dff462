// Opening character cursors and stepping them forward.
#include "lxl.h"
#include "lxm.h"
#include "lxmint.h"

namespace {

void open(const void *text, size_t len, lxmcur *cur, const lxlangid *h, int mark) {
  uint32_t f = h ? h->flags : LXH_F_SINGLE;
  cur->single_byte = (f & LXH_F_SINGLE) ? 1 : 0;
  cur->shift_sensitive = (f & LXH_F_SHIFT) ? 1 : 0;
  cur->pos = cur->start = static_cast<unsigned char *>(const_cast<void *>(text));
  cur->langid = h;
  cur->shifted = 0;
  cur->len = len;
  cur->mark = mark;
  cur->mark2 = 0;
}

}  // namespace

extern "C" size_t lxmopen(const void *text, size_t len, lxmcur *cur, const lxlangid *langid,
                          lxglo *glo, int noskip) {
  open(text, len, cur, langid, noskip);
  if (cur->shift_sensitive && noskip == 0 && len != 0) return lxmskps(cur, glo);
  return 0;
}

extern "C" size_t lxmcpen(const void *text, size_t len, lxmcur *cur, const lxlangid *langid,
                          lxglo *glo) {
  open(text, len, cur, langid, 0);
  if (cur->shift_sensitive && len != 0) return lxmskps(cur, glo);
  return 0;
}

extern "C" size_t lxmskps(lxmcur *cur, lxglo *) {
  return lxmi::take_shift_bytes(cur, 0, lxmleft(cur));
}

namespace {

// One forward step; classtab is the byte-class table of a multibyte set that
// is not shift-sensitive (NULL: one byte a character).
size_t step(lxmcur *cur, const uint16_t *classtab) {
  const size_t left = lxmleft(cur);
  if (left == 0) {
    ++cur->pos;
    return 0;
  }
  // the shift bytes after a character go with it, so that the cursor always
  // rests on a character
  if (cur->shift_sensitive) return lxmi::shift_step(cur);
  const size_t n = (cur->single_byte || !classtab) ? 1u : (classtab[*cur->pos] & 3u) + 1u;
  if (n > left) {
    ++cur->pos;
    return 0;
  }
  cur->pos += n;
  return n;
}

}  // namespace

extern "C" size_t lxmfwdx(lxmcur *cur, lxglo *glo) {
  const lxcsobj *cs = cur->single_byte ? nullptr : lxmi::charset(cur->langid, glo);
  return step(cur, cs ? cs->bclass : nullptr);
}

extern "C" size_t lxmfwtx(lxmcur *cur, const uint16_t *classtab) { return step(cur, classtab); }

extern "C" int lxmr2w(lxmcur *cur, lxglo *glo) {
  cur->mark = 1;
  glo->status = 0;
  glo->nbytes = 0;
  if (cur->single_byte || !cur->shift_sensitive || cur->pos <= cur->start) return 0;
  const lxlangid *h = cur->langid;
  const uint8_t b = cur->pos[-1];
  if (b == h->shift_out)
    cur->shifted = 0;
  else if (b == h->shift_in)
    cur->shifted = 1;
  else
    return 0;
  --cur->pos;
  return -1;
}
