// Lookups in the sections of a linguistic sort object: special letters,
// contracting pairs, special case and base-letter records, major and minor
// keys and base letters.
//
// A section is read only inside the loaded object: its offset and count must
// leave every record (and every key block) within the object's size, or the
// lookup gives its "none" answer (NULL, 0 or the character itself).
#include <stdint.h>
#include <string.h>

#include "lxl.h"
#include "lxlig.h"

namespace {

constexpr unsigned kEntrySize = 4;  // {high byte, byte, 16-bit block offset}
constexpr unsigned kBlockChars = 256;

uint16_t rd16(const uint8_t *p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}

bool matches(const uint8_t *r, uint16_t first, uint16_t second) {
  return rd16(r) == first && (r[LXSRT_ANYSECOND] == 1 || rd16(r + 2) == second);
}

}  // namespace

namespace lxlig {

Section section(const lxsrtobj *sort, unsigned k, size_t recsize) {
  const uint8_t *o = reinterpret_cast<const uint8_t *>(sort);
  size_t size = sort->hdr.size;
  size_t at = size_t(LXSRT_NAME) + sort->sect[k];
  uint16_t count = sort->h108[k - 1];
  if (at > size || sort->sect[k] > size || size_t(count) * recsize > size - at) return {nullptr, 0, 0};
  return {o + at, count, size - at};
}

// The block offset of ch's high byte in a two-level table of count entries
// (entries first, then last, then bisection), or -1.
long block_of(const uint8_t *table, uint16_t count, uint16_t ch) {
  if (count == 0) return -1;
  const uint8_t hi = uint8_t(ch >> 8);
  auto entry = [&](unsigned i) { return table + size_t(kEntrySize) * i; };
  if (entry(0)[0] == hi) return rd16(entry(0) + 2);
  unsigned last = count - 1u;
  if (entry(last)[0] == hi) return rd16(entry(last) + 2);
  unsigned lo = 0, up = last;
  while (up - lo > 1) {
    unsigned mid = lo + (up - lo) / 2;
    uint8_t b = entry(mid)[0];
    if (b == hi) return rd16(entry(mid) + 2);
    if (b < hi) lo = mid;
    else up = mid;
  }
  return -1;
}

uint8_t key(const Section &s, uint16_t ch) {
  if (!s.p) return 0;
  long off = block_of(s.p, s.count, ch);
  if (off < 0 || size_t(off) + kBlockChars > s.room) return 0;
  return s.p[size_t(off) + (ch & 0xFF)];
}

}  // namespace lxlig

extern "C" {

const uint8_t *lxligsp(const uint8_t *records, uint16_t count, uint16_t first, uint16_t second) {
  for (unsigned i = 0; i < count; ++i) {
    const uint8_t *r = records + size_t(LXSRT_REC12) * i;
    uint16_t c = rd16(r);
    if (c > first) break;
    if (matches(r, first, second)) return r;
  }
  return nullptr;
}

uint8_t lxligkey(const uint8_t *table, uint16_t count, uint16_t ch) {
  long off = lxlig::block_of(table, count, ch);
  return off < 0 ? 0 : table[size_t(off) + (ch & 0xFF)];
}

uint16_t lxligbl(const lxsrtobj *sort, uint16_t ch) {
  lxlig::Section s = lxlig::section(sort, LXSRT_BASE, kEntrySize);
  if (!s.p) return ch;
  long off = lxlig::block_of(s.p, s.count, ch);
  if (off < 0 || size_t(off) + 2u * kBlockChars > s.room) return ch;
  return rd16(s.p + size_t(off) + 2u * (ch & 0xFF));
}

const uint8_t *lxligss(const lxsrtobj *sort, uint16_t ch) {
  lxlig::Section s = lxlig::section(sort, LXSRT_SPECIAL, LXSRT_REC8);
  for (unsigned i = 0; s.p && i < s.count; ++i)
    if (rd16(s.p + LXSRT_REC8 * i) == ch) return s.p + LXSRT_REC8 * i;
  return nullptr;
}

const uint8_t *lxligcs(const lxsrtobj *sort, uint16_t first, uint16_t second) {
  lxlig::Section s = lxlig::section(sort, LXSRT_CONTRACT, LXSRT_REC8);
  for (unsigned i = 0; s.p && i < s.count; ++i) {
    const uint8_t *r = s.p + LXSRT_REC8 * i;
    if (rd16(r) == first && rd16(r + 2) == second) return r;
  }
  return nullptr;
}

const uint8_t *lxligsu(const lxsrtobj *sort, uint16_t first, uint16_t second) {
  lxlig::Section s = lxlig::section(sort, LXSRT_SUPPER, LXSRT_REC12);
  return s.p && s.count ? lxligsp(s.p, s.count, first, second) : nullptr;
}

const uint8_t *lxligsbl(const lxsrtobj *sort, uint16_t first, uint16_t second) {
  lxlig::Section s = lxlig::section(sort, LXSRT_SBASE, LXSRT_REC12);
  return s.p && s.count ? lxligsp(s.p, s.count, first, second) : nullptr;
}

const uint8_t *lxligsl(const lxsrtobj *sort, uint16_t first, uint16_t second) {
  constexpr uint16_t kFirstLooked = 128;
  if (first < kFirstLooked) return nullptr;
  lxlig::Section s = lxlig::section(sort, LXSRT_SLOWER, LXSRT_REC12);
  if (!s.p || s.count == 0) return nullptr;
  auto rec = [&](unsigned i) { return s.p + size_t(LXSRT_REC12) * i; };
  if (first < rd16(rec(0)) || first > rd16(rec(s.count - 1u))) return nullptr;
  // the first record of the character, by bisection
  unsigned lo = 0, hi = s.count;
  while (lo < hi) {
    unsigned mid = lo + (hi - lo) / 2;
    if (rd16(rec(mid)) < first) lo = mid + 1;
    else hi = mid;
  }
  for (unsigned i = lo; i < s.count && rd16(rec(i)) == first; ++i)
    if (matches(rec(i), first, second)) return rec(i);
  return nullptr;
}

}  // extern "C"
