// Classification, values, case forms and display widths of the character at
// a cursor, and of packed wide values.
//
// A reader looks only at the bytes of the character at the cursor: a
// character cut off by the end of the text (or a cursor at its end) has no
// class, no value and no width.
#include "lxl.h"
#include "lxm.h"
#include "lxmint.h"

namespace {

constexpr uint16_t kClassUpper = LXCC_UPPER;
constexpr uint16_t kClassLower = LXCC_LOWER;
constexpr uint16_t kClassDigit = LXCC_DIGIT;
constexpr uint16_t kClassSpace = LXCC_SPACE;
constexpr uint16_t kClassAlpha = LXCC_ALPHA;
constexpr unsigned kMaxCharBytes = 4;

// The bytes that the character at the cursor occupies by the character
// length rule, 0 when it is cut off or the cursor is at its end.
size_t whole_len(const lxmcur *cur, const lxcsobj *cs) {
  const size_t left = lxmleft(cur);
  if (left == 0) return 0;
  const size_t n = lxmi::char_len(cur, cs);
  return n <= left ? n : 0;
}

uint32_t pack(const uint8_t *p, size_t n) {
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

// Bytes of a packed value for a lookup in the class trie: 2 or 4 in a
// wide-unit set, else the fewest of 2, 3 or 4.
unsigned lookup_bytes(uint32_t v, bool wide) {
  if (wide) return v <= 0xFFFF ? 2 : 4;
  return v <= 0xFFFF ? 2 : v < 0x1000000 ? 3 : 4;
}

// The class bits of the character at the cursor (the rule of the class
// tests).
uint16_t class_bits(const lxmcur *cur, lxglo *glo, uint16_t bits) {
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  if (whole_len(cur, cs) == 0) return 0;
  const uint8_t c = *cur->pos;
  const uint16_t k = cs ? cs->bclass[c] : 0;
  const bool one_byte = cur->shift_sensitive ? cur->shifted == 0 : (k & 3u) == 0;
  if (one_byte || !cs) return k & bits;
  // a multibyte character: its lead byte's class says how many bytes follow,
  // and the trie walk must not read more of them than the text holds
  if (lxmi::lead_len(cs, c) > lxmleft(cur)) return 0;
  if (c != 0) return lxcsgmc(cs, cur->pos) & bits;
  if (cs->flags & LXCSF_UNIT16) return cs->bclass[cur->pos[1]] & bits;
  return k & bits;
}

// The packed value of the character at the cursor, mapped to one case
// (lower when lower is set); 0 when it is cut off.
uint32_t case_form(const lxmcur *cur, lxglo *glo, bool lower) {
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  const size_t n = whole_len(cur, cs);
  if (n == 0 || n > kMaxCharBytes) return 0;
  const uint32_t v = pack(cur->pos, n);
  if (!cs) return v;
  return lower ? lxcswlo(cs, v) : lxcswup(cs, v);
}

// The width class of the character at the cursor in columns (ambiguous by
// the language rule); 0 when it is cut off.
unsigned width(const lxmcur *cur, const lxcsobj *cs) {
  const size_t n = whole_len(cur, cs);
  if (n == 0) return 0;
  if (!cs) return 1;
  // lxcsgmw reads as many bytes as the lead byte's class says
  if (lxmi::lead_len(cs, *cur->pos) > lxmleft(cur)) return 0;
  return lxmi::width_cols(lxcsgmw(cs, cur->pos), cur->langid);
}

}  // namespace

extern "C" {

int lxmalnx(const lxmcur *cur, lxglo *glo) { return class_bits(cur, glo, kClassAlpha | kClassDigit); }
int lxmalpx(const lxmcur *cur, lxglo *glo) { return class_bits(cur, glo, kClassAlpha); }
int lxmdigx(const lxmcur *cur, lxglo *glo) { return class_bits(cur, glo, kClassDigit); }
int lxmlowx(const lxmcur *cur, lxglo *glo) { return class_bits(cur, glo, kClassLower); }
int lxmspax(const lxmcur *cur, lxglo *glo) { return class_bits(cur, glo, kClassSpace); }
int lxmuppx(const lxmcur *cur, lxglo *glo) { return class_bits(cur, glo, kClassUpper); }

int lxwuppx(uint32_t wide, const lxlangid *langid, lxglo *glo) {
  const lxcsobj *cs = lxmi::charset(langid, glo);
  if (!cs) return 0;
  if (wide < 0x100) return cs->bclass[wide] & kClassUpper;
  uint8_t b[kMaxCharBytes];
  const unsigned n = lookup_bytes(wide, (langid->flags & LXH_F_WIDE) != 0);
  for (unsigned k = 0; k < n; ++k) b[k] = static_cast<uint8_t>(wide >> (8 * (n - 1 - k)));
  // lxcsgmc walks the class trie within its table (a wide-unit value with a
  // zero first byte walks it too, as the trie holds it)
  if (!(cs->flags & LXCSF_UNIT16) || b[0] != 0) return lxcsgmc(cs, b) & kClassUpper;
  if (cs->counts[LXCT_CLASS] == 0) return 0;
  return lxcsgmt(b, lxcstab(cs, LXCT_CLASS)) & kClassUpper;
}

int lxmctex(const lxmcur *cur, int code, lxglo *glo) {
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  if (!cs || code < 0 || code > 0xFF) return 0;
  uint8_t want[kMaxCharBytes];
  size_t n = lxcss2m(cs, want, static_cast<uint8_t>(code));
  if (n == 0 || n > lxmleft(cur)) return 0;
  for (size_t i = 0; i < n; ++i)
    if (cur->pos[i] != want[i]) return 0;
  return 1;
}

int lxwctex(uint32_t wide, int code, const lxlangid *langid, lxglo *glo) {
  if (code >= 0 && wide == static_cast<uint32_t>(code)) return 1;
  const lxcsobj *cs = lxmi::charset(langid, glo);
  if (!cs || code < 0 || code > 0xFF) return 0;
  // lxcss2m answers nothing outside the list's first..last codes: a code
  // below the lowest has no equivalent either
  uint8_t eq[kMaxCharBytes];
  const size_t n = lxcss2m(cs, eq, static_cast<uint8_t>(code));
  const uint32_t v = pack(eq, n);
  return v != 0 && v == wide ? 1 : 0;
}

uint32_t lxmc2wx(const lxmcur *cur, lxglo *glo) {
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  const size_t n = whole_len(cur, cs);
  return n == 0 || n > kMaxCharBytes ? 0 : pack(cur->pos, n);
}

int lxmtos(const lxmcur *cur, lxglo *glo) {
  glo->status = 0;
  if (cur->single_byte) {
    glo->nbytes = 1;
    return *cur->pos;
  }
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  size_t n = lxmi::char_len(cur, cs);
  if (!cs) {
    glo->nbytes = n;
    return n == 1 ? *cur->pos : 0;
  }
  const bool wide = (cs->flags & LXCSF_UNIT16) != 0;
  glo->nbytes = n;
  if (!wide && n == 1) return *cur->pos;
  return lxcsm2s(cs, cur->pos, n);
}

uint32_t lxm2wlx(const lxmcur *cur, lxglo *glo) { return case_form(cur, glo, true); }
uint32_t lxm2wux(const lxmcur *cur, lxglo *glo) { return case_form(cur, glo, false); }

uint32_t lxwc2lx(uint32_t wide, const lxlangid *langid, lxglo *glo) {
  const lxcsobj *cs = lxmi::charset(langid, glo);
  return cs ? lxcswlo(cs, wide) : wide;
}

unsigned lxmdspx(const lxmcur *cur, lxglo *glo) {
  return width(cur, lxmi::charset(cur->langid, glo));
}

unsigned lxmdssln(const lxmcur *cur, lxglo *glo) {
  const lxlangid *h = cur->langid;
  const lxcsobj *cs = lxmi::charset(h, glo);
  const bool wide = (h->flags & LXH_F_WIDE) != 0;
  const size_t left = lxmleft(cur);
  if (left == 0) return 0;
  if (cur->single_byte && !cur->shift_sensitive) return 1;
  // a shift byte at distance d from the cursor, inside the text
  auto shift_at = [&](size_t d) { return d < left && lxmi::is_shift(h, cur->pos[d]); };
  if (cur->shift_sensitive && (cur->single_byte || (!wide && cur->shifted == 0)))
    return shift_at(1) ? 2 : 1;
  if (!wide && !cur->shift_sensitive && cs && (cs->bclass[*cur->pos] & 3u) == 0) return 1;
  unsigned w = width(cur, cs);
  if (w != 0 && cur->shift_sensitive && cs && shift_at(cs->maxbytes)) ++w;
  return w;
}

}  // extern "C"
