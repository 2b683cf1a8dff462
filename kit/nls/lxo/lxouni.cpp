// Complete characters of AL16UTF16 and the UTF-8 family: surrogate pairs,
// Hangul jamo sequences and the combining marks after a character.
#include "lxg.h"
#include "lxlname.h"
#include "lxmint.h"
#include "lxoint.h"

namespace lxoi {

namespace {

enum Jamo { kNoJamo, kLead, kVowel, kTrail };

constexpr size_t kUnit = 2;
constexpr size_t kMaxChar = 4;

// The jamo kind of a character by its code (U+1100..U+115F leading
// consonants, U+1160..U+11A2 vowels, U+11A8..U+11F9 trailing consonants).
Jamo jamo_of(uint32_t v, uint32_t l0, uint32_t l1, uint32_t v0, uint32_t v1, uint32_t t0, uint32_t t1) {
  if (v >= l0 && v <= l1) return kLead;
  if (v >= v0 && v <= v1) return kVowel;
  if (v >= t0 && v <= t1) return kTrail;
  return kNoJamo;
}

Jamo jamo(const Uni &u, const uint8_t *p, size_t len) {
  if (u.al16) {
    if (len != kUnit) return kNoJamo;
    return jamo_of(uint32_t(p[0]) << 8 | p[1], 0x1100, 0x115F, 0x1160, 0x11A2, 0x11A8, 0x11F9);
  }
  if (len != 3) return kNoJamo;
  const uint32_t v = uint32_t(p[1]) << 8 | p[2];
  if (u.utfe) return p[0] == 0xBB ? jamo_of(v, 0x4941, 0x5173, 0x5241, 0x5443, 0x5449, 0x5668) : kNoJamo;
  return p[0] == 0xE1 ? jamo_of(v, 0x8480, 0x859F, 0x85A0, 0x86A2, 0x86A8, 0x87B9) : kNoJamo;
}

// A jamo of kind next continues a sequence begun by a jamo of kind first.
bool continues(Jamo first, Jamo next) {
  if (next == kNoJamo) return false;
  if (first == kLead) return true;
  if (first == kVowel) return next == kVowel || next == kTrail;
  return first == kTrail && next == kTrail;
}

}  // namespace

bool uni_open(Uni &u, const lxlangid *h, lxglo *glo) {
  u = Uni{};
  u.glo = glo;
  u.cs = lxmi::charset(h, glo);
  if (!u.cs) return false;
  u.al16 = u.cs->id == LXCS_AL16UTF16;
  u.utfe = u.cs->id == LXCS_UTFE;
  u.utf8 = !u.al16 && ((u.cs->flags & (LXCSF_SURR6 | LXCSF_UTF8SHAPE)) || u.utfe);
  if (!u.al16 && !u.utf8) return false;
  u.u16 = u.al16 ? u.cs : lxhci2h(LXCS_AL16UTF16, glo);
  return true;
}

size_t uni_len(const Uni &u, const uint8_t *p, size_t avail) {
  const size_t n = u.al16 ? kUnit : lxmi::lead_len(u.cs, p[0]);
  return n <= avail ? n : 0;
}

size_t uni_pair(const Uni &u, const uint8_t *p, size_t avail) {
  if (u.al16) {
    if (avail < 2 * kUnit || p[0] < 0xD8 || p[0] > 0xDB) return 0;
    return p[2] >= 0xDC && p[2] <= 0xDF ? 2 * kUnit : 0;
  }
  if (u.utfe) {
    if (avail < 2 || p[0] != 0xDD || p[1] != 0x65) return 0;
    const size_t a = lxmi::lead_len(u.cs, p[0]);
    if (a + 2 > avail || p[a] != 0xDD || p[a + 1] != 0x66) return 0;
    const size_t b = lxmi::lead_len(u.cs, p[a]);
    return a + b <= avail ? a + b : 0;
  }
  if (avail < 6 || p[0] != 0xED || p[1] < 0xA0 || p[1] > 0xAF) return 0;
  return p[3] == 0xED && p[4] >= 0xB0 && p[4] <= 0xBF ? 6 : 0;
}

bool uni_combining(const Uni &u, const uint8_t *p, size_t len) {
  if (!u.u16) return false;
  if (u.al16) return lxcsugcm(u.u16, p, len) > 0;
  // the character's UTF-16 form; the conversion reports in a scratch record
  // so that the caller's results stay as they are
  uint8_t units[2 * kMaxChar];
  lxglo g = *u.glo;
  const size_t n = lxgcnv(units, u.u16, sizeof units, p, u.cs, len, &g);
  return n != 0 && lxcsugcm(u.u16, units, n) > 0;
}

size_t uni_whole(const Uni &u, const uint8_t *p, size_t avail, bool nul, bool *lone_mark) {
  *lone_mark = false;
  size_t n = uni_pair(u, p, avail);
  if (n == 0) {
    n = uni_len(u, p, avail);
    if (n == 0) return 0;
    const Jamo first = jamo(u, p, n);
    if (first != kNoJamo) {
      Jamo last = first;
      for (;;) {
        const size_t m = uni_len(u, p + n, avail - n);
        if (m == 0) break;
        const Jamo next = jamo(u, p + n, m);
        if (!continues(last, next)) break;
        if (first != kLead) last = next;
        n += m;
      }
    } else if (!(nul && uni_zero(u, p))) {
      *lone_mark = uni_combining(u, p, n);
    }
  }
  for (;;) {
    const size_t m = uni_len(u, p + n, avail - n);
    if (m == 0 || (nul && uni_zero(u, p + n)) || !uni_combining(u, p + n, m)) break;
    n += m;
  }
  return n;
}

bool uni_half_cut(const Uni &u, const uint8_t *p, size_t avail, bool nul) {
  if (u.al16) {
    if (avail < kUnit || p[0] < 0xD8 || p[0] > 0xDB) return false;
    return avail < 2 * kUnit || (nul && p[2] == 0 && p[3] == 0);
  }
  if (u.utfe) {
    if (avail < 2 || p[0] != 0xDD || p[1] != 0x65) return false;
    const size_t a = lxmi::lead_len(u.cs, p[0]);
    return a < avail && a + 2 > avail ? true : (nul && a < avail && p[a] == 0);
  }
  if (avail < 3 || p[0] != 0xED || p[1] < 0xA0 || p[1] > 0xAF) return false;
  return avail < 6 || (nul && p[3] == 0);
}

}  // namespace lxoi
