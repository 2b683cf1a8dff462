// One-character codecs: bytes of one character to a UTF-16 value and back.
#include "lxc.h"

#include <cstring>

extern "C" {
const uint8_t lxcsbm[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
const uint8_t lxcsbmr[8] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F};
}

namespace {

constexpr uint32_t kBad = 0xFFFD;

inline uint16_t rd16(const uint8_t *p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t rd32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline bool cont(uint8_t b) { return (b & 0xC0) == 0x80; }
inline bool is_pair(uint32_t v) { return (v & 0xFC00FC00u) == 0xD800DC00u; }
inline uint32_t pair_to_cp(uint32_t v) {
  return 0x10000u + (((v >> 16) & 0x3FF) << 10) + (v & 0x3FF);
}
inline uint32_t cp_to_pair(uint32_t cp) {
  cp -= 0x10000u;
  return ((0xD800u | (cp >> 10)) << 16) | (0xDC00u | (cp & 0x3FF));
}
inline void mark(lxglo *glo) {
  if (glo) glo->repmark = LX_REPMARK;
}

// Writes a UTF-8 sequence of a value below 0x10000 (one, two or three bytes).
uint16_t put_utf8(uint8_t *out, uint32_t u) {
  if (u < 0x80) {
    out[0] = (uint8_t)u;
    return 1;
  }
  if (u < 0x800) {
    out[0] = (uint8_t)(0xC0 | (u >> 6));
    out[1] = (uint8_t)(0x80 | (u & 0x3F));
    return 2;
  }
  out[0] = (uint8_t)(0xE0 | (u >> 12));
  out[1] = (uint8_t)(0x80 | ((u >> 6) & 0x3F));
  out[2] = (uint8_t)(0x80 | (u & 0x3F));
  return 3;
}

uint16_t put_bad_utf8(uint8_t *out, lxglo *glo) {
  mark(glo);
  return put_utf8(out, kBad);
}

// Writes a UTF-16 unit or packed pair, big- or little-endian; anything else
// becomes the marked replacement.
uint16_t put_utf16(uint8_t *out, uint32_t value, lxglo *glo, bool le) {
  if ((value > 0xFFFF && !is_pair(value)) || value == kBad) {
    mark(glo);
    value = kBad;
  }
  auto unit = [le](uint8_t *at, uint32_t u) {
    at[le ? 1 : 0] = (uint8_t)(u >> 8);
    at[le ? 0 : 1] = (uint8_t)u;
  };
  if (value <= 0xFFFF) {
    unit(out, value);
    return 2;
  }
  unit(out, value >> 16);
  unit(out + 2, value & 0xFFFF);
  return 4;
}

uint16_t put_utfe(uint8_t *out, uint32_t v) {
  if (v < 0xA0) {
    out[0] = lxcsi2e[v];
    return 1;
  }
  if (v <= 0x3FF) {
    out[0] = lxcsi2e[0xC0 | (v >> 5)];
    out[1] = lxcsi2e[0xA0 | (v & 0x1F)];
    return 2;
  }
  if (v <= 0x3FFF) {
    out[0] = lxcsi2e[0xE0 | (v >> 10)];
    out[1] = lxcsi2e[0xA0 | ((v >> 5) & 0x1F)];
    out[2] = lxcsi2e[0xA0 | (v & 0x1F)];
    return 3;
  }
  out[0] = lxcsi2e[0xF0 | (v >> 15)];
  out[1] = lxcsi2e[0xA0 | ((v >> 10) & 0x1F)];
  out[2] = lxcsi2e[0xA0 | ((v >> 5) & 0x1F)];
  out[3] = lxcsi2e[0xA0 | (v & 0x1F)];
  return 4;
}

// Bytes of table 12 up to the end of the object: offsets read from a trie
// are checked against it, as the walk's length depends on the character.
uint64_t m2u_room(const lxcsobj *cs) {
  uint64_t at = (uint64_t)LXCS_DATA + cs->dir[LXCT_M2U];
  return cs->hdr.size > at ? cs->hdr.size - at : 0;
}

// Walks a byte trie (table 12) over p[0..len-1]; the leaf block is indexed
// by the raw last byte. Returns the leaf entry's address and whether it is a
// 32-bit leaf, or NULL when the character does not exist or a node or leaf
// would lie outside the object.
const uint8_t *trie_leaf(const lxcsobj *cs, const uint8_t *p, uint16_t len, bool *wide) {
  if (len < 2) return nullptr;
  uint8_t last = p[len - 1];
  if (last < cs->trail_lo || last > cs->lead_lo) return nullptr;
  const uint8_t *base = lxcstab(cs, LXCT_M2U);
  const uint64_t room = m2u_room(cs);
  uint64_t node = 8u * p[0];
  for (uint16_t i = 1;; ++i) {
    if (node + 8 > room) return nullptr;
    uint32_t off = rd32(base + node);
    if (off == 0) return nullptr;
    if (i + 1 >= len) {
      *wide = base[node + 5] != 0;
      uint64_t at = off + (uint64_t)last * (*wide ? 4 : 2);
      return at + (*wide ? 4 : 2) <= room ? base + at : nullptr;
    }
    node = off + 8u * p[i];
  }
}

uint32_t trie_decode16(const lxcsobj *cs, const uint8_t *p, uint16_t len) {
  bool wide = false;
  const uint8_t *e = trie_leaf(cs, p, len, &wide);
  if (!e) return kBad;
  return wide ? rd32(e) : rd16(e);
}

constexpr size_t kBitmap = LXCSR_BITMAP;

// Bits set in a 64-bit word, summed in place.
inline unsigned bits64(uint64_t w) {
  w -= (w >> 1) & 0x5555555555555555ull;
  w = (w & 0x3333333333333333ull) + ((w >> 2) & 0x3333333333333333ull);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return (unsigned)((w * 0x0101010101010101ull) >> 56);
}

// The entry of the unit whose low byte is low, in the row whose 8-byte record
// is rec, of a block of encoding rows with entries width bytes wide: dense
// (256 entries) or sparse (a 32-byte bitmap, then one entry per set bit).
// NULL when a sparse row has no entry for it, or the entry would lie outside
// the len bytes of the row table. below, when given, holds the row's set
// bits before each byte of its bitmap (lxcsranks).
[[gnu::always_inline]] inline const uint8_t *row_entry(const uint8_t *rows, size_t len,
                                                      const uint8_t *rec, unsigned low,
                                                      unsigned width,
                                                      const uint8_t *below = nullptr) {
  const size_t at = rd32(rec);
  if (!(rec[5] & LXCSR_SPARSE)) {
    const size_t off = at + (size_t)low * width;
    return off <= len && width <= len - off ? rows + off : nullptr;
  }
  if (at > len || kBitmap > len - at) return nullptr;
  const uint8_t *data = rows + at;
  unsigned byte = low >> 3, bit = low & 7;
  if (!(data[byte] & (1u << bit))) return nullptr;
  // The entry's rank among the row's present entries: the set bits below
  // its own.
  unsigned rank = 0;
  if (below) {
    const unsigned under = data[byte] & lxcsbmr[bit];
    rank = below[byte] + lxcsbm[under & 0x0F] + lxcsbm[under >> 4];
  } else {
    unsigned i = 0;
    for (; i + 8 <= byte; i += 8) {
      uint64_t w;
      std::memcpy(&w, data + i, 8);
      rank += bits64(w);
    }
    for (; i < byte; ++i) rank += lxcsbm[data[i] & 0x0F] + lxcsbm[data[i] >> 4];
    unsigned under = data[byte] & lxcsbmr[bit];
    rank += lxcsbm[under & 0x0F] + lxcsbm[under >> 4];
  }
  const size_t off = at + kBitmap + (size_t)rank * width;
  return off <= len && width <= len - off ? rows + off : nullptr;
}

// The counts of lxcsranks for one row of the charset's row table, taken on
// the row's first use; NULL for a dense row or one outside the table.
inline const uint8_t *row_ranks(lxcsranks *r, const uint8_t *rows, size_t len, const uint8_t *rec,
                         unsigned row) {
  if (!r || !(rec[5] & LXCSR_SPARSE)) return nullptr;
  const uint8_t bit = (uint8_t)(1u << (row & 7));
  if (!(r->counted[row >> 3] & bit)) {
    const size_t at = rd32(rec);
    if (at > len || kBitmap > len - at) return nullptr;  // row_entry finds nothing there
    unsigned sum = 0;
    for (unsigned k = 0; k < kBitmap; ++k) {
      r->below[row][k] = (uint8_t)sum;
      sum += lxcsbm[rows[at + k] & 0x0F] + lxcsbm[rows[at + k] >> 4];
    }
    r->counted[row >> 3] |= bit;
  }
  return r->below[row];
}

// The row encoder over a row table of len bytes: a row record or an entry
// outside the table reads as unmapped.
[[gnu::always_inline]] inline uint16_t u22m_bounded(const uint8_t *rows, size_t len,
                                                    uint16_t unit, uint8_t *out,
                                                    lxcsranks *ranks = nullptr);

}  // namespace

extern "C" {

// ---- Decoders -------------------------------------------------------------

}  // extern "C"

namespace {

// lxcsm2ux's forms other than the fixed two-byte table: the UTF-8 shaped
// ranges and the trie.
[[gnu::noinline]] uint32_t m2ux_trie(const lxcsobj *cs, const uint8_t *p, uint16_t len) {
  if (cs->flags & LXCSF_UTF8SHAPE) {
    if (len < 2) return kBad;
    if (len != 3) {
      if (!cont(p[1])) return kBad;
      return ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    }
    if (!cont(p[1]) || !cont(p[2]) || (p[0] == 0xE0 && p[1] < 0xA0)) return kBad;
    uint32_t v = ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    if (v < 0x3400 || (v >= 0x4E00 && v <= 0xABFF) || v > 0xD7A3) return v;
  }
  uint32_t v = trie_decode16(cs, p, len);
  return v & 0xFFFF;
}

// lxcsm2ux, inline in the decoders built on it: the fixed two-byte table
// here, the other forms out of line, so that the common one stays short.
[[gnu::always_inline]] inline uint32_t m2ux(const lxcsobj *cs, const uint8_t *p, uint16_t len) {
  if (cs->flags & (LXCSF_TRIE | LXCSF_UTF8SHAPE)) return m2ux_trie(cs, p, len);
  if (len < 2) return kBad;
  uint8_t lead = p[0], trail = p[1];
  if (lead < cs->lead_lo || lead > cs->lead_hi || trail < cs->trail_lo ||
      trail >= cs->trail_lo + cs->rowlen)
    return kBad;
  uint64_t at = 2 * ((uint64_t)(lead - cs->lead_lo) * cs->rowlen + (trail - cs->trail_lo));
  if (at + 2 > m2u_room(cs)) return kBad;
  return rd16(lxcstab(cs, LXCT_M2U) + at);
}

}  // namespace

extern "C" {

uint32_t lxcsm2ux(const lxcsobj *cs, const uint8_t *p, uint16_t len) { return m2ux(cs, p, len); }

uint32_t lxcsm2uUTF32(const lxcsobj *cs, const uint8_t *p, uint16_t len) {
  bool wide = false;
  const uint8_t *e = trie_leaf(cs, p, len, &wide);
  if (!e) return kBad;
  if (!wide) return rd16(e);
  uint32_t cp = rd32(e);
  if (cp <= 0xFFFF) return cp;
  if (cp > 0x10FFFF) return kBad;
  return cp_to_pair(cp);
}

uint32_t lxcsm2uUTF8(const lxcsobj *, const uint8_t *p, uint16_t len) {
  switch (len) {
    case 2:
      if (!cont(p[1])) return kBad;
      return ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    case 3:
      if (!cont(p[1]) || !cont(p[2]) || (p[0] == 0xE0 && p[1] < 0xA0)) return kBad;
      return ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    default:
      // The six-byte form of a surrogate pair: two three-byte sequences.
      // Shorter input is never read past its length.
      if (len < 6) return kBad;
      uint32_t hi = ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
      uint32_t lo = ((p[3] & 0x0Fu) << 12) | ((p[4] & 0x3Fu) << 6) | (p[5] & 0x3Fu);
      return (hi << 16) | lo;
  }
}

uint32_t lxcsm2uAL32UTF8(const lxcsobj *, const uint8_t *p, uint16_t len) {
  switch (len) {
    case 2:
      // C0 and C1 leads only make overlong forms.
      if (!cont(p[1]) || p[0] < 0xC2) return kBad;
      return ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    case 3:
      if (!cont(p[1]) || !cont(p[2]) || (p[0] == 0xE0 && p[1] < 0xA0) ||
          (p[0] == 0xED && p[1] > 0x9F))
        return kBad;
      return ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    case 4: {
      if (!cont(p[1]) || !cont(p[2]) || !cont(p[3]) || (p[0] == 0xF0 && p[1] < 0x90) ||
          (p[0] == 0xF4 && p[1] > 0x8F) || p[0] > 0xF4)
        return kBad;
      uint32_t cp = ((p[0] & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                    (p[3] & 0x3Fu);
      if (cp < 0x10000 || cp > 0x10FFFF) return kBad;
      return cp_to_pair(cp);
    }
    default:
      return kBad;
  }
}

uint32_t lxcsm2uAL16UTF16(const lxcsobj *, const uint8_t *p, uint16_t len) {
  if (len == 2) return ((uint32_t)p[0] << 8) | p[1];
  if (len == 4)
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
  return kBad;
}

uint32_t lxcsm2uAL16UTF16LE(const lxcsobj *, const uint8_t *p, uint16_t len) {
  if (len == 2) return ((uint32_t)p[1] << 8) | p[0];
  if (len == 4)
    return ((uint32_t)p[1] << 24) | ((uint32_t)p[0] << 16) | ((uint32_t)p[3] << 8) | p[2];
  return kBad;
}

uint32_t lxcsm2uUTFE(const lxcsobj *, const uint8_t *p, uint16_t len) {
  uint32_t i0 = lxcse2i[p[0]];
  switch (len) {
    case 0:
    case 1:
      return i0;
    case 2:
      return ((i0 & 0x1F) << 5) | (lxcse2i[p[1]] & 0x1Fu);
    case 3:
      return ((i0 & 0x0F) << 10) | ((lxcse2i[p[1]] & 0x1Fu) << 5) | (lxcse2i[p[2]] & 0x1Fu);
    default:
      return ((i0 << 15) | ((lxcse2i[p[1]] & 0x1Fu) << 10) | ((lxcse2i[p[2]] & 0x1Fu) << 5) |
              (lxcse2i[p[3]] & 0x1Fu)) &
             0xFFFF;
  }
}

}  // extern "C"

namespace {

constexpr uint32_t kGbBmpLast = 39419;  // four-byte index of U+FFFF
constexpr uint32_t kGbBlock = 32;       // indexes per block of GbBlocks

// Per block of 32 four-byte indexes, the first range whose last index lies
// in or after the block.
struct GbBlocks {
  uint8_t first[kGbBmpLast / kGbBlock + 1];
  GbBlocks() {
    unsigned k = 0;
    for (unsigned b = 0; b < sizeof first; ++b) {
      while (k < LXCGB_RANGES && lxcgbMaping[k][3] < b * kGbBlock) ++k;
      first[b] = static_cast<uint8_t>(k);
    }
  }
};

// The four-byte characters of GB18030.
[[gnu::noinline]] uint32_t gb_four(const lxcsobj *cs, const uint8_t *p) {
  uint32_t lin = 0;
  if (p[2] >= 0x81 && p[2] <= 0xFE && p[3] >= 0x30 && p[3] <= 0x39)
    lin = p[0] * 12600u + p[1] * 1260u + p[2] * 10u + p[3];
  if (lin >= LXCGB_BMP0 && lin <= LXCGB_BMP0 + kGbBmpLast) {
    // The ranges are sorted and disjoint by index as well: from the first
    // one that reaches into the index's block, the block's own ranges.
    const uint32_t idx = lin - LXCGB_BMP0;
    static const GbBlocks blocks;
    unsigned k = blocks.first[idx / kGbBlock];
    while (k < LXCGB_RANGES && lxcgbMaping[k][3] < idx) ++k;
    if (k < LXCGB_RANGES && lxcgbMaping[k][2] <= idx) return lxcgbMaping[k][0] + (idx - lxcgbMaping[k][2]);
    return lxcsm2ux(cs, p, 4);
  }
  if (lin >= LXCGB_SUPP0 && lin - LXCGB_SUPP0 <= 0xFFFFF) return cp_to_pair(0x10000 + (lin - LXCGB_SUPP0));
  return kBad;
}

}  // namespace

extern "C" {

uint32_t lxcsm2uGB18030(const lxcsobj *cs, const uint8_t *p, uint16_t len) {
  return len == 4 ? gb_four(cs, p) : m2ux(cs, p, len);
}

// ---- Encoders -------------------------------------------------------------

uint16_t lxcsureplace(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                      lxglo *glo) {
  mark(glo);
  srcwidth &= 0xFF;
  bool multi;
  if (srcwidth == 1)
    multi = cs->sb_repl == 0;
  else if (srcwidth >= 2)
    multi = cs->mb_repl != 0;
  else
    multi = value >= 0x3000 && cs->mb_repl != 0;
  if (!multi) {
    out[0] = cs->sb_repl;
    return 1;
  }
  uint32_t r = cs->mb_repl;
  uint16_t n = r < 0x100 ? 1 : r < 0x10000 ? 2 : r < 0x1000000 ? 3 : 4;
  for (uint16_t i = 0; i < n; ++i) out[i] = (uint8_t)(r >> (8 * (n - 1 - i)));
  return n;
}

uint16_t lxcsu22m(const uint8_t *rows, uint16_t unit, uint8_t *out) {
  return u22m_bounded(rows, SIZE_MAX, unit, out);
}

}  // extern "C"

namespace {

constexpr size_t kRowRecord = 8;

inline uint16_t u22m_bounded(const uint8_t *rows, size_t len, uint16_t unit, uint8_t *out,
                             lxcsranks *ranks) {
  const size_t at = kRowRecord * (unit >> 8);
  if (at > len || kRowRecord > len - at) return 0;
  const uint8_t *rec = rows + at;
  uint8_t rflags = rec[5];
  if (rflags == 0) return 0;
  unsigned width = rflags & 0x0F;
  const uint8_t *e = row_entry(rows, len, rec, unit & 0xFF, width,
                               row_ranks(ranks, rows, len, rec, unit >> 8));
  if (!e) return 0;
  if ((rflags & 0x40) && width >= 3 && e[0] != 0) {
    out[0] = rec[4];
    out[1] = e[0];
    out[2] = e[1];
    out[3] = e[2];
    return 4;
  }
  uint16_t n = 0;
  if (width == 2) {
    if (e[0]) out[n++] = e[0];
    out[n++] = e[1];
    return n;
  }
  if (width == 3) {
    if (e[0]) out[n++] = e[0];
    if (e[1]) out[n++] = e[1];
    out[n++] = e[2];
    return n;
  }
  for (unsigned i = 0; i < width && i < 4; ++i)
    if (e[i]) out[n++] = e[i];
  if (n == 0) out[n++] = 0;
  return n;
}

}  // namespace

extern "C" {

uint8_t lxcsu2sb(const lxcsobj *cs, uint32_t value, lxglo *glo) {
  const uint8_t repl = cs->sb_repl;
  uint8_t out = repl;
  if (value <= 0xFFFF) {
    const uint8_t *rows = lxcstab(cs, LXCT_U2M);
    const size_t len = lxcstablen(cs, LXCT_U2M);
    const size_t at = kRowRecord * (value >> 8);
    if (at <= len && kRowRecord <= len - at) {
      const uint8_t *rec = rows + at;
      uint8_t rflags = rec[5];
      unsigned width = rflags & 0x0Fu;
      const uint8_t *e =
          rflags ? row_entry(rows, len, rec, value & 0xFF, width ? width : 1) : nullptr;
      if (e) out = e[0];
    }
  }
  if (out == repl && value != cs->sbu[repl]) mark(glo);
  return out;
}

void lxcsu2sbrow(const lxcsobj *cs, unsigned hh, uint8_t byte[256], uint8_t lossy[256]) {
  const uint8_t repl = cs->sb_repl;
  std::memset(byte, repl, 256);
  const uint8_t *rows = lxcstab(cs, LXCT_U2M);
  const size_t len = lxcstablen(cs, LXCT_U2M);
  const size_t at = kRowRecord * (hh & 0xFFu);
  if (at <= len && kRowRecord <= len - at) {
    const uint8_t *rec = rows + at;
    uint8_t rflags = rec[5];
    unsigned width = rflags & 0x0Fu;
    for (unsigned lo = 0; rflags && lo < 256; ++lo) {
      const uint8_t *e = row_entry(rows, len, rec, lo, width ? width : 1);
      if (e) byte[lo] = e[0];
    }
  }
  for (unsigned lo = 0; lo < 256; ++lo)
    lossy[lo] = byte[lo] == repl && ((hh & 0xFFu) << 8 | lo) != cs->sbu[repl];
}

}  // extern "C"

namespace {

// lxcsu2mx, with the row ranks when given.
[[gnu::always_inline]] inline uint16_t u2mx(const lxcsobj *cs, uint8_t *out, uint32_t value,
                                            unsigned srcwidth, lxglo *glo, lxcsranks *ranks) {
  uint32_t u = value & 0xFFFF;
  if (cs->flags & LXCSF_UTF8SHAPE) {
    if (u < 0x800 || u < 0x3400 || (u >= 0x4E00 && u <= 0xABFF) || u > 0xD7A3)
      return put_utf8(out, u);
  } else if (u == kBad) {
    return lxcsureplace(cs, out, value, srcwidth, glo);
  }
  uint16_t n =
      u22m_bounded(lxcstab(cs, LXCT_U2M), lxcstablen(cs, LXCT_U2M), (uint16_t)u, out, ranks);
  return n ? n : lxcsureplace(cs, out, value, srcwidth, glo);
}

}  // namespace

extern "C" {

uint16_t lxcsu2mx(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                  lxglo *glo) {
  return u2mx(cs, out, value, srcwidth, glo, nullptr);
}

uint16_t lxcsu2mUTF32(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                      lxglo *glo) {
  uint32_t cp = value;
  if (value > 0xFFFF) {
    if (!is_pair(value)) return lxcsu2mx(cs, out, kBad, srcwidth, glo);
    cp = pair_to_cp(value);
  }
  // Table 14 of a UTF-32 set: 256 plane offsets, then each plane's rows.
  constexpr size_t kPlanes = 4 * 256;
  const uint8_t *tab = lxcstab(cs, LXCT_U2M);
  const size_t len = lxcstablen(cs, LXCT_U2M);
  if (len < kPlanes) return lxcsureplace(cs, out, value, srcwidth, glo);
  int32_t plane;
  std::memcpy(&plane, tab + 4u * ((cp >> 16) & 0xFF), 4);
  if (plane == -1) return lxcsureplace(cs, out, value, srcwidth, glo);
  const size_t at = (size_t)(uint32_t)plane + kPlanes;
  if (at > len) return lxcsureplace(cs, out, value, srcwidth, glo);
  uint16_t n = u22m_bounded(tab + at, len - at, (uint16_t)(cp & 0xFFFF), out);
  return n ? n : lxcsureplace(cs, out, value, srcwidth, glo);
}

uint16_t lxcsu2mUTF8(const lxcsobj *, uint8_t *out, uint32_t value, unsigned, lxglo *glo) {
  if (value > 0xFFFF) {
    if (!is_pair(value)) return put_bad_utf8(out, glo);
    uint16_t n = put_utf8(out, value >> 16);
    return (uint16_t)(n + put_utf8(out + n, value & 0xFFFF));
  }
  if (value == kBad) return put_bad_utf8(out, glo);
  return put_utf8(out, value);
}

uint16_t lxcsu2mAL32UTF8(const lxcsobj *, uint8_t *out, uint32_t value, unsigned,
                         lxglo *glo) {
  if (value > 0xFFFF) {
    if (!is_pair(value)) return put_bad_utf8(out, glo);
    uint32_t cp = pair_to_cp(value);
    out[0] = (uint8_t)(0xF0 | (cp >> 18));
    out[1] = (uint8_t)(0x80 | ((cp >> 12) & 0x3F));
    out[2] = (uint8_t)(0x80 | ((cp >> 6) & 0x3F));
    out[3] = (uint8_t)(0x80 | (cp & 0x3F));
    return 4;
  }
  if (value == kBad || (value >= 0xD800 && value <= 0xDFFF)) return put_bad_utf8(out, glo);
  return put_utf8(out, value);
}

uint16_t lxcsu2mAL16UTF16(const lxcsobj *, uint8_t *out, uint32_t value, unsigned,
                          lxglo *glo) {
  return put_utf16(out, value, glo, false);
}

uint16_t lxcsu2mAL16UTF16LE(const lxcsobj *, uint8_t *out, uint32_t value, unsigned,
                            lxglo *glo) {
  return put_utf16(out, value, glo, true);
}

uint16_t lxcsu2mUTFE(const lxcsobj *, uint8_t *out, uint32_t value, unsigned, lxglo *glo) {
  if (value > 0xFFFF) {
    if (!is_pair(value)) {
      mark(glo);
      return put_utfe(out, kBad);
    }
    uint16_t n = put_utfe(out, value >> 16);
    return (uint16_t)(n + put_utfe(out + n, value & 0xFFFF));
  }
  if (value == kBad) mark(glo);
  return put_utfe(out, value);
}

}  // extern "C"

namespace {

constexpr unsigned kGbSpan = 32;  // values per entry of GbRows

// Per span of 32 values, the first four-byte range whose last value lies in
// or after the span.
struct GbRows {
  uint8_t first[0x10000 / kGbSpan];
  GbRows() {
    unsigned k = 0;
    for (unsigned span = 0; span < sizeof first; ++span) {
      while (k < LXCGB_RANGES && lxcgbMaping[k][1] < span * kGbSpan) ++k;
      first[span] = static_cast<uint8_t>(k);
    }
  }
};
static_assert(LXCGB_RANGES <= 255, "range indexes fit a byte");

inline const GbRows &gb_rows() {
  static const GbRows rows;
  return rows;
}

// Whether no four-byte range of GB18030 holds a value of the row.
bool gb_row_plain(unsigned row) {
  const unsigned k = gb_rows().first[(row << 8) / kGbSpan];
  return k >= LXCGB_RANGES || lxcgbMaping[k][0] > ((row << 8) | 0xFF);
}

// lxcsu2mGB18030, with the row ranks when given.
[[gnu::always_inline]] inline uint16_t u2mgb(const lxcsobj *cs, uint8_t *out, uint32_t value,
                                             unsigned srcwidth, lxglo *glo, lxcsranks *ranks) {
  if (is_pair(value)) {
    lxcgbunLinear(pair_to_cp(value) + (LXCGB_SUPP0 - 0x10000u), out);
    return 4;
  }
  if (value > 0xFFFF || value == kBad) return u2mx(cs, out, kBad, srcwidth, glo, ranks);
  // The four-byte ranges are sorted and disjoint: from the first one that
  // reaches into the value's span of 32, at most the span's own ranges are
  // looked at (none in the spans the two-byte table covers).
  const GbRows &rows = gb_rows();
  for (unsigned k = rows.first[value / kGbSpan]; k < LXCGB_RANGES && lxcgbMaping[k][0] <= value; ++k)
    if (value <= lxcgbMaping[k][1]) {
      lxcgbunLinear(LXCGB_BMP0 + lxcgbMaping[k][2] + (value - lxcgbMaping[k][0]), out);
      return 4;
    }
  return u2mx(cs, out, value, srcwidth, glo, ranks);
}

}  // namespace

extern "C" {

uint16_t lxcsu2mGB18030(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                        lxglo *glo) {
  return u2mgb(cs, out, value, srcwidth, glo, nullptr);
}

void lxcsranksinit(lxcsranks *r, const lxcsobj *cs) {
  r->cs = cs;
  r->enc = lxcsencoder(cs);
  r->rows = lxcstab(cs, LXCT_U2M);
  r->rowslen = lxcstablen(cs, LXCT_U2M);
  std::memset(r->counted, 0, sizeof r->counted);
  std::memset(r->plain, 0, sizeof r->plain);
  const bool table =
      (r->enc == lxcsu2mx || r->enc == lxcsu2mGB18030) && !(cs->flags & LXCSF_UTF8SHAPE);
  for (unsigned row = 0; table && row < LXCSR_ROWS; ++row)
    if (r->enc != lxcsu2mGB18030 || gb_row_plain(row)) r->plain[row >> 3] |= (uint8_t)(1u << (row & 7));
}

}  // extern "C"

namespace {

[[gnu::noinline]] uint16_t ranked(lxcsranks *r, uint8_t *out, uint32_t value, unsigned srcwidth,
                                  lxglo *glo) {
  if (r->enc == lxcsu2mx) return u2mx(r->cs, out, value, srcwidth, glo, r);
  if (r->enc == lxcsu2mGB18030) return u2mgb(r->cs, out, value, srcwidth, glo, r);
  return r->enc(r->cs, out, value, srcwidth, glo);
}

}  // namespace

extern "C" {

uint16_t lxcsu2mr(lxcsranks *r, uint8_t *out, uint32_t value, unsigned srcwidth, lxglo *glo) {
  // The common case inline: a value of a plain row of two- or three-byte
  // entries that the row holds, written as u22m_bounded writes it (its
  // nonzero bytes, the last one always).
  constexpr unsigned kPairWidth = 2, kTripleWidth = 3;
  const unsigned row = value >> 8;
  if (value <= 0xFFFF && value != kBad && (r->plain[row >> 3] & (1u << (row & 7)))) {
    const size_t at = kRowRecord * row;
    if (at <= r->rowslen && kRowRecord <= r->rowslen - at) {
      const uint8_t *rec = r->rows + at;
      const unsigned width = rec[5] & LXCSR_WIDTH;
      if (!(rec[5] & LXCSR_FOUR) && (width == kPairWidth || width == kTripleWidth)) {
        const uint8_t *e = row_entry(r->rows, r->rowslen, rec, value & 0xFF, width,
                                     row_ranks(r, r->rows, r->rowslen, rec, row));
        if (e) {
          uint16_t n = 0;
          if (width == kTripleWidth && e[0]) out[n++] = e[0];
          const uint8_t *last2 = e + width - kPairWidth;
          if (last2[0]) out[n++] = last2[0];
          out[n++] = last2[1];
          return n;
        }
      }
    }
  }
  return ranked(r, out, value, srcwidth, glo);
}

// ---- Selection ------------------------------------------------------------

lxcsm2uf lxcsdecoder(const lxcsobj *cs) {
  switch (cs->id) {
    case LXCS_AL32UTF8: return lxcsm2uAL32UTF8;
    case LXCS_UTF8: return lxcsm2uUTF8;
    case LXCS_AL16UTF16: return lxcsm2uAL16UTF16;
    case LXCS_AL16UTF16LE: return lxcsm2uAL16UTF16LE;
    case LXCS_UTFE: return lxcsm2uUTFE;
    case LXCS_GB18030: return lxcsm2uGB18030;
    default: return (cs->flags & LXCSF_LEAF32) ? lxcsm2uUTF32 : lxcsm2ux;
  }
}

lxcsu2mf lxcsencoder(const lxcsobj *cs) {
  switch (cs->id) {
    case LXCS_AL32UTF8: return lxcsu2mAL32UTF8;
    case LXCS_UTF8: return lxcsu2mUTF8;
    case LXCS_AL16UTF16: return lxcsu2mAL16UTF16;
    case LXCS_AL16UTF16LE: return lxcsu2mAL16UTF16LE;
    case LXCS_UTFE: return lxcsu2mUTFE;
    case LXCS_GB18030: return lxcsu2mGB18030;
    default: return (cs->flags & LXCSF_LEAF32) ? lxcsu2mUTF32 : lxcsu2mx;
  }
}

}  // extern "C"
