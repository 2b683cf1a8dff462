// The handle, installer and conversion code's view of the NLS environment
// record, the object table, the built-in objects and the codecs.
#include "lxhint.h"

namespace lxn {

bool boot_builtin(const lxglo *g) {
  const uint8_t *b = boot(g);
  return b && (reinterpret_cast<const lxboot *>(b)->flags & LX_BOOT_BUILTIN);
}

const uint8_t *get(uint16_t idx, int type, lxglo *g) {
  const uint8_t *b = boot(g);
  if (!b || idx == 0 || idx >= reinterpret_cast<const lxboot *>(b)->count) {
    if (g) g->status = LXS_NOLOAD;
    return nullptr;
  }
  return reinterpret_cast<const uint8_t *>(lxdgetobj(idx, static_cast<unsigned>(type), g));
}

uint32_t &status(lxglo *g) { return g->status; }
size_t &nbytes(lxglo *g) { return reinterpret_cast<size_t &>(g->nbytes); }
size_t &nbytes2(lxglo *g) { return reinterpret_cast<size_t &>(g->nbytes2); }
size_t &ncount(lxglo *g) { return reinterpret_cast<size_t &>(g->ncount); }
size_t &ncount2(lxglo *g) { return reinterpret_cast<size_t &>(g->ncount2); }
int16_t &mark(lxglo *g) { return g->repmark; }

uint16_t &cache_id(lxglo *g, int i) { return g->csid[i]; }
uint16_t &cache_idx(lxglo *g, int i) { return g->csidx[i]; }
uint8_t &cache_next(lxglo *g) { return g->csnext; }

uint8_t &src_shift(lxglo *g) { return g->carry.src_shift; }
uint8_t &dst_shift(lxglo *g) { return g->carry.dst_shift; }
uint8_t &stateful_byte(lxglo *g) { return g->carry.state[0]; }
uint8_t &pend_count(lxglo *g) { return g->carry.npending; }
uint8_t *pend_bytes(lxglo *g) { return g->carry.pending; }

const uint8_t *ucs() { return reinterpret_cast<const uint8_t *>(lxdlucs); }
const uint8_t *utf16le() { return reinterpret_cast<const uint8_t *>(lxdlutf16le); }
const uint8_t *wkb() { return reinterpret_cast<const uint8_t *>(lxdlwkb); }

dec_fn decoder(const uint8_t *cs) { return lxcsdecoder(csobj(cs)); }
enc_fn encoder(const uint8_t *cs) { return lxcsencoder(csobj(cs)); }

}  // namespace lxn
