// Internal to the NLS layer: the key lookup of a monolingual sort over its
// sections found once, for callers that look up many characters (the
// monolingual comparison). lxphlc is this lookup over sections found per
// call.
#ifndef QEN_KIT_NLS_LXPHLC_H
#define QEN_KIT_NLS_LXPHLC_H

#include <stdint.h>

#include "lxl.h"
#include "lxlig.h"

namespace lxp {

// The sections a monolingual sort's keys come from, each inside the object
// (a section that would leave it is empty).
struct KeyTables {
  lxlig::Section specials, pairs, majors, minors;
};
// The sections of the kinds asked for (sort flags 0x1 special letters, 0x2
// contracting pairs, which look special letters up too); the others empty.
constexpr uint16_t kSpecialLetters = 0x1, kContractingPairs = 0x2;
KeyTables key_tables(const lxsrtobj *sort, uint16_t kinds = kSpecialLetters | kContractingPairs);
// One of them, for callers that find the others only when they need them.
enum class KeyTable { specials, pairs, majors, minors };
lxlig::Section key_table(const lxsrtobj *sort, KeyTable which);

// The keys of ch's special letter (both major keys in major[0..1], both
// minor keys in minor[0..1]); false, writing nothing, when it has none.
bool special_keys(const KeyTables &t, uint16_t ch, uint8_t *major, uint8_t *minor);

// The 256 keys of a key table's block for high byte hi, or NULL when the
// table has no such block inside the object.
const uint8_t *key_block(const lxlig::Section &table, uint8_t hi);

// A key table read through the block of the last high byte met: text mostly
// stays in one block.
class KeyReader {
 public:
  explicit KeyReader(const lxlig::Section &table) : table_(table) {}
  uint8_t key(uint16_t ch) {
    const int hi = ch >> 8;
    if (hi != hi_) {
      hi_ = hi;
      block_ = key_block(table_, static_cast<uint8_t>(hi));
    }
    return block_ ? block_[ch & 0xFF] : 0;
  }

 private:
  const lxlig::Section &table_;
  int hi_ = -1;
  const uint8_t *block_ = nullptr;
};

// lxphlc over the sections; the major key through majors when given.
int hlc(uint8_t *major, uint8_t *minor, uint16_t ch, uint16_t next, const KeyTables &t,
        KeyReader *majors = nullptr);

}  // namespace lxp

#endif
