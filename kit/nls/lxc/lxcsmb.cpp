// Class values and single-byte equivalents of multibyte characters.
#include <string.h>

#include "lxc.h"

namespace {

constexpr unsigned kNodeSize = 8;      // {32-bit offset; four flag bytes}
constexpr unsigned kMaxCharBytes = 4;
constexpr unsigned kEquivCount = 4;    // counts[]: nonzero when the equivalence list exists
constexpr unsigned kClassNodes = 3;    // counts[]: size of the class trie's node area

uint32_t rd32(const uint8_t *p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

uint16_t rd16(const uint8_t *p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}

bool has_equivalents(const lxcsobj *cs) { return cs->counts[kEquivCount] != 0; }

uint32_t equivalent(const lxcsobj *cs, unsigned code) {
  return rd32(lxcstab(cs, LXCT_EQUIV) + 4 * code);
}

unsigned value_size(uint32_t v) { return v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : v < 0x1000000 ? 3 : 4; }

}  // namespace

extern "C" {

uint16_t lxcsgmt(const uint8_t *p, const uint8_t *trie) {
  const uint8_t *node = trie + kNodeSize * p[0];
  // a character has at most four bytes: the walk takes at most three steps
  for (unsigned used = 1; used < kMaxCharBytes; ++used) {
    uint32_t off = rd32(node);
    if (off == 0) return 0;
    if (node[4] != 0) return rd16(trie + off + 2 * p[used]);
    node = trie + off + kNodeSize * p[used];
  }
  return 0;
}

uint16_t lxcsgmc(const lxcsobj *cs, const uint8_t *p) {
  if ((cs->flags & LXCSF_UNIT16) && p[0] == 0) return cs->bclass[p[1]];
  if (cs->counts[kClassNodes] == 0) return 0;  // the set has no class trie
  return lxcsgmt(p, lxcstab(cs, LXCT_CLASS));
}

uint8_t lxcsm2s(const lxcsobj *cs, const uint8_t *p, size_t len) {
  if (!has_equivalents(cs) || len == 0 || len > kMaxCharBytes) return 0;
  uint32_t v = 0;
  for (size_t i = 0; i < len; ++i) v = v << 8 | p[i];
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
  for (unsigned k = 0; k < n; ++k) out[k] = uint8_t(v >> (8 * (n - 1 - k)));
  return n;
}

}  // extern "C"
