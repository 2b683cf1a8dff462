// What the case conversion engine's loops share: the state of one call, the
// conversion modes, and the one-character forms (case maps, initial
// capitals). lxocase.cpp holds the engine's entry, its basic loops and its
// finishing step; lxocasel.cpp the linguistic loops that run instead when
// the handle's sort carries special casing entries.
//
// Private to lxoCnvCase: nothing else includes this header.
#ifndef QEN_KIT_NLS_LXOCASEINT_H
#define QEN_KIT_NLS_LXOCASEINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxl.h"
#include "lxm.h"
#include "lxo.h"

namespace lxocase {

inline constexpr uint32_t kBinary = LXO_CASE_BINARY;
inline constexpr uint32_t kLower = LXO_CASE_LOWER;
inline constexpr uint32_t kUpper = LXO_CASE_UPPER;
inline constexpr uint32_t kInitCap = LXO_CASE_INITCAP;
inline constexpr uint32_t kBase = LXO_CASE_BASE;
inline constexpr uint32_t kFold = LXO_CASE_FOLD;

inline constexpr uint16_t kClassUpper = LXCC_UPPER;
inline constexpr uint16_t kClassLower = LXCC_LOWER;
inline constexpr uint16_t kClassDigit = LXCC_DIGIT;
inline constexpr uint16_t kClassAlpha = LXCC_ALPHA;
inline constexpr unsigned kWorkBytes = 8;  // one converted character
inline constexpr unsigned kReplaceMulti = 2;  // encoder option: the multibyte replacement when there is one
inline constexpr uint32_t kStatusFull = 6;

enum class Mode { None, Upper, Lower, InitCap, Base };

// A direct-mapped cache of the multibyte case forms met in one call: text
// repeats its characters, and a form costs a trie walk and a map search.
struct FormCache {
  static constexpr unsigned kSlots = 64;
  FormCache() {}  // the slots are cleared on first use only
  bool ready = false;
  uint32_t key[kSlots];     // packed character
  uint8_t tag[kSlots];      // its length | 8 for upper case; 0: empty slot
  uint8_t n[kSlots];        // length of its form
  uint8_t form[kSlots][4];
};

// The conversion state of one call.
struct Conv {
  const lxlangid *h;
  const lxcsobj *cs;
  const uint8_t *sort;  // NULL: binary
  const uint8_t *s;
  uint8_t *d;
  size_t srclen, dstlen;
  uint32_t flags;
  lxglo *glo;
  size_t si = 0, di = 0;
  size_t nc = 0, nc2 = 0;
  bool full = false;  // a converted character did not fit: it was left unconsumed
  bool cut = false;   // part of a character's outputs was dropped for want of room
  bool word_start = true;
  FormCache cache{};
  size_t src_left() const { return srclen - si; }
  size_t dst_left() const { return dstlen - di; }
  bool exact() const { return (flags & LXO_EXACTLEN) != 0; }
};

inline uint16_t be16(const uint8_t *p) { return uint16_t(p[0] << 8 | p[1]); }
inline void put_be16(uint8_t *p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline bool is_high(uint8_t b) { return b >= 0xD8 && b <= 0xDB; }
inline bool is_low(uint8_t b) { return b >= 0xDC && b <= 0xDF; }

// The base letter of a UTF-16 value in the sort's base-letter table.
inline uint16_t base_letter(const uint8_t *sort, uint16_t v) {
  return lxligbl(reinterpret_cast<const lxsrtobj *>(sort), v);
}

// Initial capitals: the form a character of class cls takes (upper case at
// a word start, lower case inside a word, None for a character that is not
// a cased letter), moving the word-start flag past it.
Mode initcap_step(Conv &c, uint16_t cls);
// The upper-case or lower-case form of a multibyte character into out (4
// bytes of room); its length.
size_t mapped(Conv &c, bool upper, const uint8_t *p, size_t l, uint8_t *out);
// The case form of one character of a multibyte set (one-byte characters
// through the charset's single-byte tables) into out; its length.
size_t case_form(Conv &c, Mode m, const uint8_t *p, size_t l, uint8_t *out);

// The linguistic branch. linguistic_mode gives the conversion it runs for
// this call, or Mode::None when the sort has no special entries for it (or
// the set's class has no linguistic loop) and the basic loops serve it.
Mode linguistic_mode(const Conv &c, uint32_t flags);
// The loop of single-byte, wide-unit and Unicode multibyte sets, and the
// base-letter loop of shift-sensitive sets (which keeps both cursors'
// shift states). Both leave the finishing step to the caller.
void linguistic(Conv &c, Mode m);
void linguistic_shift(Conv &c, lxmcur *dst, lxmcur *src);

}  // namespace lxocase

#endif
