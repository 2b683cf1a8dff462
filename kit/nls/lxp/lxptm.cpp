// Cut positions of multibyte texts: where a text must end so that no
// incomplete character remains at its end.
#include "lxmint.h"
#include "lxp.h"

extern "C" const unsigned char *lxptmutf8(const unsigned char *begin, const unsigned char *end) {
  unsigned trail = 0;
  for (const unsigned char *p = end; p > begin;) {
    uint8_t b = *--p;
    if (b < 0x80) return end;
    if (b < 0xC0) {
      ++trail;
      continue;
    }
    bool incomplete = b < 0xE0 ? trail == 0 : b < 0xF0 ? trail <= 1 : trail <= 2;
    return incomplete ? p : end;
  }
  return begin;
}

extern "C" const unsigned char *lxptmult(const unsigned char *text, size_t len,
                                         const lxlangid *langid, lxglo *glo) {
  if (len == 0) return text;
  const lxcsobj *cs = lxmi::charset(langid, glo);
  auto n = [cs](uint8_t b) { return lxmi::lead_len(cs, b); };
  const unsigned char *end = text + len;
  glo->nbytes = len;
  if (len > 3 && cs) {
    unsigned e1 = n(end[-1]), e2 = n(end[-2]), e3 = n(end[-3]);
    switch (cs->maxbytes) {
      case 2:
        if (e1 == 1) return end;
        if (e1 == 2 && e2 == 1) {
          glo->ncount = glo->ncount2 = 0;
          return end - 1;
        }
        break;
      case 3:
        if (e1 == 1 && e2 < 3) return end;
        if (e1 > 1 && e2 == 1 && e3 < 3) {
          glo->ncount = glo->ncount2 = 0;
          return end - 1;
        }
        break;
      case 4:
        if (e1 == 1 && e2 < 3 && e3 < 4) {
          glo->ncount = glo->ncount2 = 0;
          return end;
        }
        break;
      default:
        break;
    }
  }
  const unsigned char *p = text;
  uint16_t chars = 0;  // wraps at 65536
  while (p < end) {
    unsigned l = n(*p);
    if (l > static_cast<size_t>(end - p)) break;
    p += l;
    ++chars;
  }
  glo->ncount = glo->ncount2 = chars;
  return p;
}
