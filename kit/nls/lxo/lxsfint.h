// What the special sorts share: scratch space through slmaacb, the text of
// a key maker in the charset its keys are made in, the cut at a terminating
// NUL, and the keyed comparator that the Thai, Japanese and Canadian French
// sorts are built on.
#ifndef QEN_KIT_NLS_LXSFINT_H
#define QEN_KIT_NLS_LXSFINT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "lxc.h"
#include "lxg.h"
#include "lxlname.h"
#include "lxmint.h"
#include "lxsf.h"
#include "vzclient.h"

namespace lxsf {

// Calls f(buffer) with a scratch buffer of size bytes; false when none could
// be had (f is not called).
template <class F>
bool with_scratch(size_t size, F &f) {
  auto call = [](void *ctx, void *buf) { (*static_cast<F *>(ctx))(static_cast<uint8_t *>(buf)); };
  return slmaacb(call, &f, size == 0 ? 1 : size) == 0;
}

// The text in the charset with id want: the caller's bytes when the handle's
// charset is want (or alt, when alt is not 0; *is_alt tells which), else the
// text converted into scratch. make(bytes, n) makes the key and returns its
// length; nbytes ends as the source bytes consumed (make's own nbytes for an
// unconverted text). 0 with status 7 when a charset is not loaded.
template <class Make>
size_t in_charset(uint16_t want, uint16_t alt, const uint8_t *text, size_t len,
                  const lxlangid *h, lxglo *g, bool *is_alt, Make &&make) {
  const lxcsobj *cs = lxmi::charset(h, g);
  *is_alt = false;
  if (!cs) {
    g->status = LXSF_ST_NOCS;
    return 0;
  }
  if (len == 0) return make(text, 0);  // the empty text in any charset
  if (cs->id == want || (alt != 0 && cs->id == alt)) {
    *is_alt = cs->id != want;
    return make(text, len);
  }
  const lxcsobj *to = lxhci2h(want, g);
  if (!to) {
    g->status = LXSF_ST_NOCS;
    return 0;
  }
  uint32_t ratio = lxgratio(to, cs, g);
  size_t room = len * (ratio ? ratio : 4u);
  size_t result = 0;
  auto convert = [&](uint8_t *buf) {
    size_t n = lxgcnv(buf, to, room, text, cs, len, g);
    size_t used = g->nbytes;
    g->status = 0;
    result = make(buf, n);
    if (result != 0 || g->status == 0) g->nbytes = used;
  };
  if (!with_scratch(room, convert)) {
    g->status = LXSF_ST_KEYSIZE;
    g->nbytes = 0;
    return 0;
  }
  return result;
}

// The length of the text at cur cut at its first zero character within len
// (a zero 16-bit unit in a wide-unit charset).
size_t cut_at_nul(const lxmcur *cur, size_t len);

// The equal leading bytes of the texts at two cursors in the same charset,
// cut back to a character boundary and keep further characters before it
// (0 when the charset's boundaries cannot be found backwards: multibyte
// sets other than the UTF-8 forms and UTF-16, shift-sensitive sets). With
// nul the bytes stop at a NUL.
size_t equal_prefix(const lxmcur *l, size_t llen, const lxmcur *r, size_t rlen,
                    const lxcsobj *cs, bool nul, size_t keep);

// Byte order of two texts: the bytes, then the lengths (-1, 0 or 1). Inline:
// the binary comparison of short texts is hardly more than this.
inline int byte_order(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen) {
  const size_t n = alen < blen ? alen : blen;
  if (n && a[0] != b[0]) return a[0] < b[0] ? -1 : 1;  // texts mostly differ at once
  const int c = n ? memcmp(a, b, n) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  return alen == blen ? 0 : (alen < blen ? -1 : 1);
}

// memcmp's value over two keys, as the difference of the first bytes that
// differ (0 when none do). The C library's memcmp guarantees only the sign:
// glibc's routines give 1 or -1 at some lengths and alignments and the byte
// difference at others, so its raw value would change with where the keys
// happen to lie. This value is one memcmp may give, and always the same.
inline int key_difference(const uint8_t *a, const uint8_t *b, size_t n) {
  if (n == 0 || memcmp(a, b, n) == 0) return 0;
  size_t i = 0;
  while (a[i] == b[i]) ++i;
  return int(a[i]) - int(b[i]);
}

// How a keyed comparator lowers caseless texts.
enum class Lower {
  simple_left,  // lxsCnvSimple, both texts with the left handle
  simple_own,   // lxsCnvSimple, each text with its own handle
  chars         // character by character through the charset's case maps
};

// A sort compared by keys: key sizes per text length, how the keys compare
// and how caseless texts are lowered.
struct Keyed {
  lxsfkey make;
  size_t mul, add;  // key room of a text of n bytes: mul * n + add
  bool padded;      // compare zero-padded keys over the longer length
  Lower lower;
};

// Compares the texts at the cursors by their keys. Without padding the keys
// compare over the shorter length and a tie goes to the shorter text. A key
// that cannot be made (or no scratch) orders the texts by their bytes; the
// key maker's status stays in glo.
int keyed_compare(const Keyed &k, lxmcur *left, size_t llen, lxmcur *right, size_t rlen,
                  int caseless, int nulterm, lxglo *g);

}  // namespace lxsf

#endif
