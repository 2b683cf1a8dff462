// The keys of one character in a monolingual sort: its special letter, the
// contracting pair it starts, or its major key. Callers: the monolingual
// comparison. Reads the sort object only through the bounded section
// lookups, so a record or key block outside the object is a missing entry.
#include <stdint.h>

#include "lxl.h"
#include "lxlig.h"
#include "lxp.h"

namespace {

// Fields of the 8-byte special-letter and contracting-pair records.
constexpr unsigned kFirstMajor = 4, kFirstMinor = 5, kSecondMajor = 6, kSecondMinor = 7;
constexpr unsigned kPairMajor = 4, kPairMinor = 5;
constexpr size_t kBlockHeader = 4;  // a key table's block header

}  // namespace

extern "C" int lxphlc(uint8_t *major, uint8_t *minor, uint16_t ch, uint16_t next,
                      const lxsrtobj *sort) {
  if (const uint8_t *s = lxligss(sort, ch)) {
    major[0] = s[kFirstMajor];
    major[1] = s[kSecondMajor];
    minor[0] = s[kFirstMinor];
    minor[1] = s[kSecondMinor];
    return 0;
  }
  if (const uint8_t *c = lxligcs(sort, ch, next)) {
    major[0] = c[kPairMajor];
    minor[0] = c[kPairMinor];
    return 1;
  }
  major[0] = lxlig::key(lxlig::section(sort, LXSRT_MAJOR, kBlockHeader), ch);
  return 0;
}
