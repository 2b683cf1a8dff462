// Counting the characters of a byte string, and its length without trailing
// pad characters or white space.
#include <string.h>

#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxoint.h"
#include "lxp.h"

namespace {

constexpr size_t kUnit = 2;
constexpr uint16_t kClassSpace = LXCC_SPACE;
constexpr uint32_t kStatusMisaligned = 500;
constexpr uint16_t kBuiltinUcs = 1000;  // the built-in 16-bit Unicode set's number

uint16_t unit_at(const uint8_t *p) { return uint16_t(p[0] << 8 | p[1]); }

// Count of AL16UTF16 units, code points or complete characters.
size_t count_al16(const lxoi::Uni &u, const uint8_t *p, size_t len, uint32_t flags, size_t *bytes) {
  const bool nul = (flags & LXO_NULTERM) != 0;
  len &= ~size_t{1};
  size_t i = 0, n = 0;
  if (flags & (LXO_SKIP_UNITS | LXO_SKIP_UNITS2)) {
    while (i + kUnit <= len && !(nul && lxoi::uni_zero(u, p + i))) {
      i += kUnit;
      ++n;
    }
    *bytes = i;
    return n;
  }
  const bool whole = (flags & LXO_SKIP_WHOLE) != 0;
  while (i + kUnit <= len) {
    if (nul && lxoi::uni_zero(u, p + i)) break;
    if (lxoi::uni_half_cut(u, p + i, len - i, nul)) break;
    bool lone_mark = false;
    size_t m = whole ? lxoi::uni_whole(u, p + i, len - i, nul, &lone_mark) : lxoi::uni_pair(u, p + i, len - i);
    if (m == 0) m = kUnit;
    i += m;
    // marks that no base character precedes are passed uncounted
    if (!lone_mark) ++n;
  }
  *bytes = i;
  return n;
}

// Count of code points (a coded surrogate pair once) or complete characters
// in the UTF-8 family.
size_t count_utf8(const lxoi::Uni &u, const uint8_t *p, size_t len, uint32_t flags, size_t *bytes) {
  const bool nul = (flags & LXO_NULTERM) != 0;
  const bool whole = (flags & LXO_SKIP_WHOLE) != 0;
  size_t i = 0, n = 0;
  while (i < len) {
    if (nul && p[i] == 0) break;
    if (lxoi::uni_half_cut(u, p + i, len - i, nul)) break;
    bool lone_mark = false;
    size_t m = whole ? lxoi::uni_whole(u, p + i, len - i, nul, &lone_mark) : lxoi::uni_pair(u, p + i, len - i);
    if (m == 0) m = lxoi::uni_len(u, p + i, len - i);
    if (m == 0) break;
    i += m;
    if (!lone_mark) ++n;
  }
  *bytes = i;
  return n;
}

// Characters by the byte-class rule; with wide4 a four-byte character
// counts 2 (UTF-16 units of AL32UTF8).
size_t count_classes(const lxcsobj *cs, const uint8_t *p, size_t len, bool nul, bool wide4,
                     size_t *bytes, bool ascii_ones = false) {
  size_t i = 0, n = 0;
  while (i < len) {
    if (ascii_ones && !nul) {
      // a run of eight bytes below 0x80 is eight one-byte characters
      uint64_t w;
      while (len - i >= sizeof w) {
        memcpy(&w, p + i, sizeof w);
        if (w & 0x8080808080808080ull) break;
        i += sizeof w;
        n += sizeof w;
      }
      if (i >= len) break;
    }
    if (nul && p[i] == 0) break;
    const size_t m = lxmi::lead_len(cs, p[i]);
    if (m > len - i) break;
    i += m;
    n += (wide4 && m == 4) ? 2 : 1;
  }
  *bytes = i;
  return n;
}

size_t count_shift(const uint8_t *p, size_t len, bool nul, const lxlangid *h, lxglo *glo,
                   size_t *bytes) {
  const bool wide = (h->flags & LXH_F_WIDE) != 0;
  lxmcur c;
  lxmcpen(p, len, &c, h, glo);
  size_t n = 0;
  for (;;) {
    const size_t at = size_t(c.pos - c.start);
    const size_t next = (c.shifted && h->mb_len) ? h->mb_len : 1u;
    if (at >= len || next > len - at) break;
    if (nul && c.pos[0] == 0 && (!wide || (len - at >= kUnit && c.pos[1] == 0))) break;
    if (lxpmfwdx(&c, glo) == 0) break;
    ++n;
  }
  const size_t at = size_t(c.pos - c.start);
  *bytes = at < len ? at : len;
  return n;
}

// ---- length without trailing pad or white space ------------------------

// Fewest big-endian bytes of a value (2 or 4 in a wide-unit set).
size_t value_bytes(uint32_t v, bool wide, uint8_t out[4]) {
  const size_t n = wide ? (v > 0xFFFF ? 4 : 2) : v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : v < 0x1000000 ? 3 : 4;
  for (size_t k = 0; k < n; ++k) out[k] = uint8_t(v >> (8 * (n - 1 - k)));
  return n;
}

size_t trim_ucs(const uint8_t *p, size_t *len, size_t *count, uint32_t flags, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  if (reinterpret_cast<uintptr_t>(p) % kUnit != 0) {
    glo->status = kStatusMisaligned;
    return 0;
  }
  size_t n = *len / kUnit < *count ? *len / kUnit : *count;
  if (n == 0) return 0;
  const bool pad = (flags & LXS_CNT_PAD) != 0;
  while (n > 0) {
    const uint16_t u = unit_at(p + kUnit * (n - 1));
    const bool strip = u == ' ' || (!pad && (u == '\t' || u == '\n' || u == '\r'));
    if (!strip) break;
    --n;
  }
  *len = glo->nbytes = kUnit * n;
  *count = n;
  return kUnit * n;
}

struct Trim {
  const lxlangid *h;
  const lxcsobj *cs;
  const uint16_t *cls;  // the class table the handle points at
  uint8_t pad[4];
  size_t padlen;
  bool pad_mode, space_mb;
  lxglo *glo;
};

// The character of len bytes at p (c is a cursor on it in a shift-sensitive
// set) belongs to a trailing run.
bool strippable(const Trim &t, const uint8_t *p, size_t len, const lxmcur *c) {
  if (t.pad_mode) return len == t.padlen && memcmp(p, t.pad, len) == 0;
  const uint32_t f = t.h->flags;
  if (f & LXH_F_SINGLE) return (t.cls[p[0]] & kClassSpace) != 0;
  if (f & LXH_F_AL16UTF16) {
    if (!t.space_mb) return false;
    if (p[0] == 0) return (t.cs->bclass[p[1]] & kClassSpace) != 0;
    return (lxcsgmc(t.cs, p) & kClassSpace) != 0;
  }
  if (f & LXH_F_SHIFT) {
    // shifted in, the byte's class decides; shifted out, only with
    // LXS_CNT_MBSPACE
    if (c->shifted == 0) return (t.cls[p[0]] & kClassSpace) != 0;
    return t.space_mb && lxmspax(c, t.glo) != 0;
  }
  if (len == 1) return (t.cs->bclass[p[0]] & kClassSpace) != 0;
  return t.space_mb && (lxcsgmc(t.cs, p) & kClassSpace) != 0;
}

size_t trim(const uint8_t *p, size_t *len, size_t *count, uint32_t flags, const lxlangid *h,
            lxglo *glo) {
  glo->status = 0;
  const lxcsobj *cs = lxmi::charset(h, glo);
  const bool al16 = (h->flags & LXH_F_AL16UTF16) != 0;
  const bool nul = !(flags & LXO_EXACTLEN);
  const size_t L = al16 ? *len & ~size_t{1} : *len, N = *count;
  Trim t{};
  t.h = h;
  t.cs = cs;
  t.glo = glo;
  t.pad_mode = (flags & LXS_CNT_PAD) != 0;
  t.space_mb = (flags & LXS_CNT_MBSPACE) != 0;
  if (cs) {
    t.cls = reinterpret_cast<const uint16_t *>(reinterpret_cast<const uint8_t *>(cs) +
                                               h->csoff[LXH_OFF_CLASS]);
    if (h->flags & LXH_F_SINGLE) {
      t.pad[0] = uint8_t(cs->pad);
      t.padlen = 1;
    } else if (al16) {
      t.padlen = value_bytes(cs->pad & 0xFFFF, true, t.pad);
    } else {
      t.padlen = value_bytes(cs->pad, (h->flags & LXH_F_WIDE) != 0, t.pad);
    }
  }
  const bool shift = (h->flags & LXH_F_SHIFT) != 0 && cs;
  lxmcur c{};
  if (shift) lxmcpen(p, L, &c, h, glo);
  size_t at = shift ? size_t(c.pos - c.start) : 0, k = 0;
  size_t run_at = 0, run_k = 0;
  bool in_run = false, stopped_at_zero = false;
  while (k < N && at < L) {
    size_t m;
    if (h->flags & LXH_F_SINGLE || !cs)
      m = 1;
    else if (al16)
      m = kUnit;
    else if (shift)
      m = (c.shifted && h->mb_len) ? h->mb_len : 1u;
    else
      m = lxmi::lead_len(cs, p[at]);
    if (m > L - at) break;
    if (nul && p[at] == 0 && (!al16 || p[at + 1] == 0)) {
      stopped_at_zero = true;
      break;
    }
    const bool s = cs && strippable(t, p + at, m, &c);
    if (s && !in_run) {
      run_at = at;
      run_k = k;
    }
    in_run = s;
    if (shift) {
      lxpmfwdx(&c, glo);
      at = size_t(c.pos - c.start);
      if (at > L) at = L;
    } else {
      at += m;
    }
    ++k;
  }
  glo->nbytes = at + (stopped_at_zero ? (al16 ? kUnit : 1) : 0);
  const size_t result = in_run ? run_at : at;
  *count = in_run ? run_k : k;
  *len = result;
  return result;
}

}  // namespace

extern "C" size_t lxsCntChar(const void *str, size_t len, uint32_t flags, const lxlangid *langid,
                             lxglo *glo) {
  glo->status = 0;
  const auto *p = static_cast<const uint8_t *>(str);
  const lxcsobj *cs = lxmi::charset(langid, glo);
  const bool nul = (flags & LXO_NULTERM) != 0;
  size_t bytes = 0, n = 0;
  lxoi::Uni u;
  const bool uni = lxoi::uni_open(u, langid, glo);
  if (!cs) {
    n = bytes = nul ? strnlen(reinterpret_cast<const char *>(p), len) : len;
  } else if (uni && u.al16) {
    n = count_al16(u, p, len, flags, &bytes);
  } else if (uni && (flags & (LXO_SKIP_WHOLE | LXO_SKIP_POINTS))) {
    n = count_utf8(u, p, len, flags, &bytes);
  } else if (cs->id == LXCS_AL32UTF8 && (flags & LXO_SKIP_UNITS2)) {
    n = count_classes(cs, p, len, nul, true, &bytes, true);
  } else if (cs->maxbytes <= 1) {
    n = bytes = nul ? strnlen(reinterpret_cast<const char *>(p), len) : len;
  } else if (cs->flags & LXCSF_SHIFT) {
    n = count_shift(p, len, nul, langid, glo, &bytes);
  } else {
    n = count_classes(cs, p, len, nul, false, &bytes, (uni && u.utf8) || cs->id == LXCS_AL32UTF8);
  }
  glo->nbytes = bytes;
  return n;
}

extern "C" size_t lxsCntXExc(const void *str, size_t *len, size_t *count, uint32_t flags,
                             const lxlangid *langid, lxglo *glo) {
  const auto *p = static_cast<const uint8_t *>(str);
  if (langid->cs == kBuiltinUcs) return trim_ucs(p, len, count, flags, glo);
  return trim(p, len, count, flags, langid, glo);
}

extern "C" size_t lxsCntExc(const void *str, size_t len, uint32_t flags, const lxlangid *langid,
                            lxglo *glo) {
  size_t count = SIZE_MAX;
  const size_t r = lxsCntXExc(str, &len, &count, flags, langid, glo);
  glo->nbytes2 = count;
  return r;
}
