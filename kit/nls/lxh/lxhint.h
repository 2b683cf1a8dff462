// What the handle, installer and conversion code use of the NLS environment
// record, the object table, the built-in objects and the codecs. The bodies
// (lxhglo.cpp and the inline look-ups below) are the only place that looks
// inside those records.
#ifndef QEN_KIT_NLS_LXHINT_H
#define QEN_KIT_NLS_LXHINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxh.h"
#include "lxhobj.h"
#include "lxp.h"

namespace lxn {

// Object table and objects. The look-ups run on every string operation and
// stay inline: the table, its boot block (slot 0) and a slot below the boot
// block's count, each NULL when it is missing.
inline const lxlobj *table(const lxglo *g) { return (g && g->objtab) ? *g->objtab : nullptr; }
inline const uint8_t *boot(const lxglo *g) {
  const lxlobj *t = table(g);
  return t ? reinterpret_cast<const uint8_t *>(lxlslot(const_cast<lxlobj *>(t), 0)) : nullptr;
}
bool boot_builtin(const lxglo *g);  // the built-in table is in use
// The slot, no loading.
inline const uint8_t *loaded(const lxglo *g, uint16_t idx) {
  const lxlobj *t = table(g);
  if (!t) return nullptr;
  lxlobj *slots = const_cast<lxlobj *>(t);
  const auto *b = reinterpret_cast<const lxboot *>(lxlslot(slots, 0));
  if (!b || idx >= b->count) return nullptr;
  return reinterpret_cast<const uint8_t *>(lxlslot(slots, idx));
}
const uint8_t *get(uint16_t idx, int type, lxglo *g); // loads on first use

// Results.
uint32_t &status(lxglo *g);
size_t &nbytes(lxglo *g);   // bytes consumed
size_t &nbytes2(lxglo *g);  // second count
size_t &ncount(lxglo *g);   // characters consumed
size_t &ncount2(lxglo *g);  // characters produced
int16_t &mark(lxglo *g);    // replacement mark

// Two-entry charset cache.
uint16_t &cache_id(lxglo *g, int i);
uint16_t &cache_idx(lxglo *g, int i);
uint8_t &cache_next(lxglo *g);

// Carry-over bytes that the whole-string conversion clears.
uint8_t &src_shift(lxglo *g);
uint8_t &dst_shift(lxglo *g);
uint8_t &stateful_byte(lxglo *g);
uint8_t &pend_count(lxglo *g);
uint8_t *pend_bytes(lxglo *g);  // 4 bytes

// A loaded object as the charset record it holds.
inline const lxcsobj *csobj(const uint8_t *p) { return reinterpret_cast<const lxcsobj *>(p); }

// Built-in charset objects.
const uint8_t *ucs();      // id 1000
const uint8_t *utf16le();  // id 2002
const uint8_t *wkb();      // id 799

// Codec pair of a charset object (the selection rule of the codecs).
using dec_fn = lxcsm2uf;
using enc_fn = lxcsu2mf;
dec_fn decoder(const uint8_t *cs);
enc_fn encoder(const uint8_t *cs);
inline uint32_t decode(dec_fn f, const uint8_t *cs, const uint8_t *p, unsigned len) {
  return f(csobj(cs), p, static_cast<uint16_t>(len));
}
inline unsigned encode(enc_fn f, const uint8_t *cs, uint8_t *out, uint32_t v, unsigned width,
                       lxglo *g) {
  return f(csobj(cs), out, v, width, g);
}

}  // namespace lxn

#endif
