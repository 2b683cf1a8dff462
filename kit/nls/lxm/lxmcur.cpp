// Opening character cursors and stepping them forward.
#include "lxh.h"
#include "lxm.h"
#include "lxmint.h"

namespace {

bool is_shift(const lxlangid *h, uint8_t b) { return b == h->shift_in || b == h->shift_out; }

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
  const lxlangid *h = cur->langid;
  size_t left = lxmleft(cur), n = 0;
  while (n < left && is_shift(h, cur->pos[n])) {
    cur->shifted = cur->pos[n] == h->shift_out ? 1 : 0;
    ++n;
  }
  cur->pos += n;
  return n;
}

extern "C" size_t lxmfwdx(lxmcur *cur, lxglo *glo) {
  size_t left = lxmleft(cur);
  if (left == 0) {
    ++cur->pos;
    return 0;
  }
  const lxlangid *h = cur->langid;
  size_t n;
  if (cur->shift_sensitive) {
    n = (cur->shifted && h->mb_len) ? h->mb_len : 1u;
    // the shift bytes after the character go with it, so that the cursor
    // always rests on a character
    while (n < left && is_shift(h, cur->pos[n])) {
      cur->shifted = cur->pos[n] == h->shift_out ? 1 : 0;
      ++n;
    }
  } else if (cur->single_byte) {
    n = 1;
  } else {
    n = lxmi::lead_len(lxmi::charset(h, glo), *cur->pos);
  }
  if (n > left) {
    ++cur->pos;
    return 0;
  }
  cur->pos += n;
  return n;
}
