// The keys of one character in a monolingual sort: its special letter, the
// contracting pair it starts, or its major key. Callers: the monolingual
// comparison. The sort object is read only through bounded sections, so a
// record or key block outside the object is a missing entry.
#include "lxphlc.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "lxl.h"
#include "lxlig.h"
#include "lxp.h"

namespace {

// Fields of the special-letter and contracting-pair records.
constexpr size_t kLetter = offsetof(lxpsplet, ch);
constexpr size_t kFirstMajor = offsetof(lxpsplet, major1), kFirstMinor = offsetof(lxpsplet, minor1);
constexpr size_t kSecondMajor = offsetof(lxpsplet, major2);
constexpr size_t kSecondMinor = offsetof(lxpsplet, minor2);
constexpr size_t kFirst = offsetof(lxpcpair, first), kSecond = offsetof(lxpcpair, second);
constexpr size_t kPairMajor = offsetof(lxpcpair, major), kPairMinor = offsetof(lxpcpair, minor);
constexpr size_t kBlockHeader = 4;  // a key table's block header
constexpr size_t kBlockKeys = 256;  // the keys of one block

uint16_t rd16(const uint8_t *p) {
  uint16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

namespace lxp {

lxlig::Section key_table(const lxsrtobj *sort, KeyTable which) {
  switch (which) {
    case KeyTable::specials: return lxlig::section(sort, LXSRT_SPECIAL, LXSRT_REC8);
    case KeyTable::pairs: return lxlig::section(sort, LXSRT_CONTRACT, LXSRT_REC8);
    case KeyTable::majors: return lxlig::section(sort, LXSRT_MAJOR, kBlockHeader);
    case KeyTable::minors: return lxlig::section(sort, LXSRT_MINOR, kBlockHeader);
  }
  return {};
}

KeyTables key_tables(const lxsrtobj *sort, uint16_t kinds) {
  // Built in place: each section straight into its member.
  return {(kinds & (kSpecialLetters | kContractingPairs)) ? key_table(sort, KeyTable::specials)
                                                          : lxlig::Section{},
          (kinds & kContractingPairs) ? key_table(sort, KeyTable::pairs) : lxlig::Section{},
          key_table(sort, KeyTable::majors), key_table(sort, KeyTable::minors)};
}

bool special_keys(const KeyTables &t, uint16_t ch, uint8_t *major, uint8_t *minor) {
  const lxlig::Section &s = t.specials;
  for (unsigned i = 0; s.p && i < s.count; ++i) {
    const uint8_t *r = s.p + size_t(LXSRT_REC8) * i;
    if (rd16(r + kLetter) != ch) continue;
    major[0] = r[kFirstMajor];
    major[1] = r[kSecondMajor];
    minor[0] = r[kFirstMinor];
    minor[1] = r[kSecondMinor];
    return true;
  }
  return false;
}

const uint8_t *key_block(const lxlig::Section &table, uint8_t hi) {
  if (!table.p) return nullptr;
  const long off = lxlig::block_of(table.p, table.count, static_cast<uint16_t>(hi << 8));
  if (off < 0 || size_t(off) + kBlockKeys > table.room) return nullptr;
  return table.p + off;
}

int hlc(uint8_t *major, uint8_t *minor, uint16_t ch, uint16_t next, const KeyTables &t,
        KeyReader *majors) {
  if (special_keys(t, ch, major, minor)) return 0;
  const lxlig::Section &c = t.pairs;
  for (unsigned i = 0; c.p && i < c.count; ++i) {
    const uint8_t *r = c.p + size_t(LXSRT_REC8) * i;
    if (rd16(r + kFirst) != ch || rd16(r + kSecond) != next) continue;
    major[0] = r[kPairMajor];
    minor[0] = r[kPairMinor];
    return 1;
  }
  major[0] = majors ? majors->key(ch) : lxlig::key(t.majors, ch);
  return 0;
}

}  // namespace lxp

extern "C" int lxphlc(uint8_t *major, uint8_t *minor, uint16_t ch, uint16_t next,
                      const lxsrtobj *sort) {
  return lxp::hlc(major, minor, ch, next, lxp::key_tables(sort));
}
