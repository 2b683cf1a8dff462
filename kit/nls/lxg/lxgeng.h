// The character-by-character conversion engine behind the resumable
// conversion (lxgcvp), the stateful sets (lxg2*) and GB18030 (lxgb*).
//
// One engine run converts characters from a source side to a destination
// side. A source side is an ordinary set (measured by byte class, with the
// surrogate look-ahead, by its shift bytes, or by GB18030's second byte),
// the host-order UTF-16 units of id 1000, or a stateful set whose escape and
// shift sequences select entries of base charsets. A destination side is an
// ordinary set (its encoder, its encoding rows for single bytes, its shift
// bytes), id 1000 units, or a stateful set written through its base
// charsets with designation and shift sequences.
//
// Two ways to end a run:
//  - whole (the whole-string contract of lxgcnv): a character that is cut
//    off at the end or does not fit stays unconsumed, room for the closing
//    shift or return sequence is kept throughout, and the destination is
//    closed at the end;
//  - resumable (the lxgcvp contract): the carry-over state of the lxglo
//    holds a cut-off source character (mode 0), the rest of an output
//    character that did not fit (modes 0 and 1, at most 4 bytes) and the
//    shift states between calls.
// Invariants: nothing is written past dstlen; the carried bytes hold at most
// 6 bytes and the pending bytes at most 4; a character is either consumed
// (written, split into the pending bytes, or dropped in mode 2) or left in
// the source, never both.
#ifndef QEN_KIT_NLS_LXGENG_H
#define QEN_KIT_NLS_LXGENG_H

#include <assert.h>
#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxfobj.h"
#include "lxl.h"

namespace lxg {

enum class Measure : uint8_t {
  Normal,  // the loop form of the whole-string conversion
  Gb       // lxcgbgwt: GB18030's second byte decides
};

struct Run {
  // Inputs.
  uint8_t *dst = nullptr;  // NULL with measure
  size_t dstlen = 0;
  const uint8_t *src = nullptr;
  size_t srclen = 0;
  const lxcsobj *dcs = nullptr;
  const lxcsobj *scs = nullptr;
  bool whole = false;      // whole-string contract; else resumable
  bool measure = false;    // count the output only (whole)
  uint16_t mode = 0;       // resumable: 0, 1 or 2
  Measure how = Measure::Normal;
  size_t outchar_lim = SIZE_MAX;  // character limits (GB18030 counting form)
  size_t srcchar_lim = SIZE_MAX;
  // Results.
  size_t out = 0;          // bytes written (or needed)
  size_t consumed = 0;     // source bytes consumed (carried and dropped included)
  size_t chars = 0;        // characters written
  size_t srcchars = 0;     // source characters consumed
  uint32_t status = 0;     // 0, 6, 7 (a base charset missing), 30, 500
  bool refused = false;    // failed before converting (the -1 of lxgcvp)
};

// Runs the conversion; results in r, status and replacement mark in g.
void run(Run &r, lxglo *g);

// Stateful-set readers shared by the engine and the lookups: the fields of
// an lxcsstent (lxf.h), read by their offsets since an object in memory need
// not be aligned for the record.
struct Entry {
  const uint8_t *e;
  const uint8_t *desig() const { return e + offsetof(lxcsstent, desig); }
  const uint8_t *shift() const { return e + offsetof(lxcsstent, shift); }
  unsigned dlen() const { return nlsobj::rd16(e + offsetof(lxcsstent, dlen)); }
  unsigned slen() const { return nlsobj::rd16(e + offsetof(lxcsstent, slen)); }
  uint16_t base() const { return nlsobj::rd16(e + offsetof(lxcsstent, base)); }
  const uint8_t *pattern() const { return e + offsetof(lxcsstent, pattern); }
  bool single() const { return nlsobj::rd32(e + offsetof(lxcsstent, single)) != 0; }
  unsigned blen() const { return e[offsetof(lxcsstent, blen)]; }
};
inline constexpr unsigned kEntries = LXCS_STENTRIES;
inline Entry entry(const lxcsobj *cs, unsigned i) {
  assert(i < kEntries);
  return {reinterpret_cast<const uint8_t *>(cs) + offsetof(lxcsstobj, ent) + sizeof(lxcsstent) * i};
}
// The header bytes of a stateful set.
inline bool one_base(const lxcsobj *cs) {
  return reinterpret_cast<const uint8_t *>(cs)[offsetof(lxcsstobj, one_base)] != 0;
}
inline uint8_t longest(const lxcsobj *cs) {
  return reinterpret_cast<const uint8_t *>(cs)[offsetof(lxcsstobj, longest)];
}

// Clears the results that a resumable conversion reports.
void clear_resumable(lxglo *g);

// One resumable run: fills r, advances *src and *srclen, sets the results
// of g; returns the bytes written or -1 when the run was refused.
int32_t resume(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const void **src,
               const lxcsobj *srccs, uint32_t *srclen, uint16_t mode, Measure how,
               size_t outchars, size_t srcchars, Run &r, lxglo *g);

}  // namespace lxg

#endif
