// Class values, display width, case and single-byte equivalents of
// multibyte characters; the Unicode property getters of a charset object.
//
// Every lookup stays inside its table: a trie offset, a pair or record
// count or a delta index that points outside the table gives the "none"
// answer (class 0, width 2, the case unchanged, property 0).
#include <stdint.h>
#include <string.h>

#include "lxc.h"
#include "lxfobj.h"

namespace {

using nlsobj::rd16;
using nlsobj::rd32;

constexpr unsigned kNodeSize = 8;      // {32-bit offset; four flag bytes}
constexpr unsigned kMaxCharBytes = 4;
constexpr unsigned kEquivCount = LXCN_EQUIV;
constexpr unsigned kClassNodes = LXCN_CLASSNODES;
constexpr unsigned kPropNodes = LXCN_PROPNODES;
constexpr unsigned kUpperPairs = LXCN_UPPER;
constexpr unsigned kLowerPairs = LXCN_LOWER;
constexpr unsigned kRecordSize = 8;    // {32-bit code; 32-bit value}
constexpr int kMaxRecords = 32767;     // a table's records are counted in 16 bits

constexpr uint16_t kClassUpper = LXCC_UPPER;
constexpr uint16_t kClassLower = LXCC_LOWER;
constexpr uint16_t kClassWide = LXCC_WIDE;
constexpr uint16_t kDeltaIndex = LXCC_DELTA;
constexpr unsigned kWidthShift = 6;    // property value: display width in bits 6-7
constexpr uint16_t kWidthMask = 0x3;

constexpr uint32_t kNoNumeric = LXCS_NONUMERIC;

constexpr size_t kUnbounded = SIZE_MAX;

// The class-trie walk: leaf flags decide the depth. room bounds every read
// from trie (kUnbounded for a caller-given trie).
uint16_t walk(const uint8_t *p, const uint8_t *trie, size_t room) {
  size_t node = size_t(kNodeSize) * p[0];
  // a character has at most four bytes: the walk takes at most three steps
  for (unsigned used = 1; used < kMaxCharBytes; ++used) {
    if (room < kNodeSize || node > room - kNodeSize) return 0;
    uint32_t off = rd32(trie + node);
    if (off == 0) return 0;
    if (trie[node + 4] != 0) {
      size_t at = size_t(off) + 2u * p[used];
      if (room < 2 || off > room || at > room - 2) return 0;
      return rd16(trie + at);
    }
    node = size_t(off) + size_t(kNodeSize) * p[used];
  }
  return 0;
}

// The class value held by table t (3, or 13 for properties) when its node
// area exists.
uint16_t table_class(const lxcsobj *cs, unsigned t, unsigned nodes, const uint8_t *p) {
  if (cs->counts[nodes] == 0) return 0;
  return walk(p, lxcstab(cs, t), lxcstablen(cs, t));
}

bool unit16(const lxcsobj *cs) { return (cs->flags & LXCSF_UNIT16) != 0; }

bool has_equivalents(const lxcsobj *cs) { return cs->counts[kEquivCount] != 0; }

uint32_t equivalent(const lxcsobj *cs, unsigned code) {
  size_t at = 4u * size_t(code);
  if (at + 4 > lxcstablen(cs, LXCT_EQUIV)) return 0;  // beyond the list: no equivalent
  return rd32(lxcstab(cs, LXCT_EQUIV) + at);
}

unsigned value_size(uint32_t v) { return v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : v < 0x1000000 ? 3 : 4; }

// Bytes of a packed value: by magnitude, or 2 / 4 in UTF-16 code-unit sets.
unsigned packed_size(const lxcsobj *cs, uint32_t v) {
  if (unit16(cs)) return v <= 0xFFFF ? 2 : 4;
  return value_size(v);
}

void unpack(uint32_t v, unsigned n, uint8_t *out) {
  for (unsigned k = 0; k < n; ++k) out[k] = uint8_t(v >> (8 * (n - 1 - k)));
}

uint32_t pack(const uint8_t *p, size_t len) {
  uint32_t v = 0;
  for (size_t i = 0; i < len; ++i) v = v << 8 | p[i];
  return v;
}

// The case map of one direction.
struct CaseDir {
  unsigned table;    // 8 or 9
  unsigned pairs;    // counts[] index of its pair count
  uint16_t bit;      // class bit of characters that have the other case
  size_t wide16;     // offset of the 16-bit forms of U+0000..U+00FF (UTF-16 sets)
  size_t narrow8;    // offset of the single-byte forms (other sets)
};

constexpr CaseDir kLowerDir = {LXCT_LOWER, kLowerPairs, kClassUpper, offsetof(lxcsobj, sb799),
                               offsetof(lxcsobj, lower)};
constexpr CaseDir kUpperDir = {LXCT_UPPER, kUpperPairs, kClassLower, offsetof(lxcsobj, sbu),
                               offsetof(lxcsobj, upper)};

uint16_t form16(const lxcsobj *cs, const CaseDir &d, uint8_t b) {
  return rd16(reinterpret_cast<const uint8_t *>(cs) + d.wide16 + 2u * b);
}

// The other-case value of packed value v of class cls; v itself when the
// maps hold none.
uint32_t map_case(const lxcsobj *cs, const CaseDir &d, uint16_t cls, uint32_t v) {
  if (!(cls & d.bit)) return v;
  const uint8_t *t = lxcstab(cs, d.table);
  size_t len = lxcstablen(cs, d.table);
  if (cs->flags & LXCSF_CASEDELTA) {
    size_t at = 4u * (cls & kDeltaIndex);
    if (at + 4 > len) return v;
    int32_t delta;
    memcpy(&delta, t + at, 4);
    return v + uint32_t(delta);
  }
  size_t n = cs->counts[d.pairs];
  if (n > len / kRecordSize) n = len / kRecordSize;
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    uint32_t from = rd32(t + kRecordSize * mid);
    if (from == v) return rd32(t + kRecordSize * mid + 4);
    if (from < v) lo = mid + 1;
    else hi = mid;
  }
  return v;
}

// The other-case form of a character through the class trie and the case
// maps alone; the one map search of every multibyte case routine.
size_t map_char(const lxcsobj *cs, const CaseDir &d, uint8_t *out, const uint8_t *p, size_t len) {
  if (len == 0) return 0;
  uint16_t cls = len > kMaxCharBytes ? 0 : table_class(cs, LXCT_CLASS, kClassNodes, p);
  uint32_t v = pack(p, len);
  uint32_t r = map_case(cs, d, cls, v);
  if (r == v) {
    memmove(out, p, len);
    return len;
  }
  unsigned n = packed_size(cs, r);
  unpack(r, n, out);
  return n;
}

size_t case_of_char(const lxcsobj *cs, const CaseDir &d, uint8_t *out, const uint8_t *p, size_t len) {
  if (len == 0) return 0;
  if (unit16(cs) && p[0] == 0) {
    uint16_t u = form16(cs, d, len > 1 ? p[1] : 0);
    size_t n = len < 2 ? 2 : len > kMaxCharBytes ? kMaxCharBytes : len;
    memset(out, 0, n - 2);
    out[n - 2] = uint8_t(u >> 8);
    out[n - 1] = uint8_t(u);
    return n;
  }
  return map_char(cs, d, out, p, len);
}

uint32_t case_of_value(const lxcsobj *cs, const CaseDir &d, uint32_t v) {
  const uint8_t *obj = reinterpret_cast<const uint8_t *>(cs);
  if (unit16(cs)) {
    if (v < 0x100) return form16(cs, d, uint8_t(v));
  } else if (v <= 0xFF) {
    return obj[d.narrow8 + v];
  }
  uint8_t b[kMaxCharBytes];
  unpack(v, packed_size(cs, v), b);
  return map_case(cs, d, lxcsgmc(cs, b), v);
}

// Value of the record for packed code in table t (records {code; value}
// sorted by code), or none.
uint32_t record(const lxcsobj *cs, unsigned t, uint32_t code, uint32_t none) {
  size_t n = lxcstablen(cs, t) / kRecordSize;
  int lo = 0, hi = int(n > size_t(kMaxRecords) ? kMaxRecords : n) - 1;
  const uint8_t *r = lxcstab(cs, t);
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    uint32_t c = rd32(r + kRecordSize * unsigned(mid));
    if (c == code) return rd32(r + kRecordSize * unsigned(mid) + 4);
    if (c < code) lo = mid + 1;
    else hi = mid - 1;
  }
  return none;
}

}  // namespace

extern "C" {

uint16_t lxcsgmt(const uint8_t *p, const uint8_t *trie) { return walk(p, trie, kUnbounded); }

uint16_t lxcsgmc(const lxcsobj *cs, const uint8_t *p) {
  if (unit16(cs) && p[0] == 0) return cs->bclass[p[1]];
  return table_class(cs, LXCT_CLASS, kClassNodes, p);
}

unsigned lxcsgmw(const lxcsobj *cs, const uint8_t *p) {
  const unsigned trail = cs->bclass[p[0]] & 3u;
  if (trail == 0) return 1;
  if (unit16(cs)) return (lxcsugpv(cs, p) >> kWidthShift) & kWidthMask;
  // walked by the byte count, on the low 16 bits of each node offset
  if (cs->counts[kClassNodes] == 0) return 2;
  const uint8_t *trie = lxcstab(cs, LXCT_CLASS);
  const size_t room = lxcstablen(cs, LXCT_CLASS);
  size_t node = size_t(kNodeSize) * p[0];
  for (unsigned i = 1; i <= trail; ++i) {
    if (node + kNodeSize > room) return 2;
    size_t off = rd32(trie + node) & 0xFFFFu;
    if (off == 0) return 2;
    if (i == trail) {
      size_t at = off + 2u * p[i];
      if (at + 2 > room) return 2;
      return (rd16(trie + at) & kClassWide) ? 2 : 1;
    }
    node = off + size_t(kNodeSize) * p[i];
  }
  return 2;
}

size_t lxcsmlo(const lxcsobj *cs, uint8_t *out, const uint8_t *p, size_t len) {
  return case_of_char(cs, kLowerDir, out, p, len);
}

size_t lxcsmup(const lxcsobj *cs, uint8_t *out, const uint8_t *p, size_t len) {
  return case_of_char(cs, kUpperDir, out, p, len);
}

size_t lxcsmmap(const lxcsobj *cs, int upper, uint8_t *out, const uint8_t *p, size_t len) {
  return map_char(cs, upper ? kUpperDir : kLowerDir, out, p, len);
}

uint32_t lxcswlo(const lxcsobj *cs, uint32_t v) { return case_of_value(cs, kLowerDir, v); }

uint32_t lxcswup(const lxcsobj *cs, uint32_t v) { return case_of_value(cs, kUpperDir, v); }

uint8_t lxcsm2s(const lxcsobj *cs, const uint8_t *p, size_t len) {
  if (!has_equivalents(cs) || len == 0 || len > kMaxCharBytes) return 0;
  uint32_t v = pack(p, len);
  int front = cs->eq_first, back = cs->eq_last;
  for (; front <= back; ++front, --back) {
    if (equivalent(cs, unsigned(front)) == v) return uint8_t(front);
    if (equivalent(cs, unsigned(back)) == v) return uint8_t(back);
  }
  return 0;
}

size_t lxcss2m(const lxcsobj *cs, uint8_t *out, uint8_t byte) {
  if (!has_equivalents(cs) || byte < cs->eq_first || byte > cs->eq_last) return 0;
  uint32_t v = equivalent(cs, byte);
  if (v == 0) return 0;  // a gap in the list: no equivalent
  unsigned n = value_size(v);
  unpack(v, n, out);
  return n;
}

uint16_t lxcsugcm(const lxcsobj *cs, const uint8_t *p, size_t len) {
  if (len == 0 || len > kMaxCharBytes) return 0;
  return uint16_t(record(cs, LXCT_COMBINING, pack(p, len), 0));
}

uint32_t lxcsugnv(const lxcsobj *cs, const uint8_t *p, size_t len) {
  if (len == 0 || len > kMaxCharBytes) return kNoNumeric;
  return record(cs, LXCT_NUMERIC, pack(p, len), kNoNumeric);
}

uint16_t lxcsugpv(const lxcsobj *cs, const uint8_t *p) {
  if (p[0] == 0) return rd16(reinterpret_cast<const uint8_t *>(cs) + offsetof(lxcsobj, upper) + 2u * p[1]);
  return table_class(cs, LXCT_PROP, kPropNodes, p);
}

}  // extern "C"
