// The codec pair of a character-set object for the components written in
// C++ (the selection rule is lxcsdecoder and lxcsencoder of lxc.h).
#ifndef QEN_KIT_NLS_LXCCODEC_H
#define QEN_KIT_NLS_LXCCODEC_H

#include <stdint.h>

#include "lxc.h"
#include "lxfglo.h"

namespace lxn {

using dec_fn = lxcsm2uf;
using enc_fn = lxcsu2mf;
inline dec_fn decoder(const uint8_t *cs) { return lxcsdecoder(csobj(cs)); }
inline enc_fn encoder(const uint8_t *cs) { return lxcsencoder(csobj(cs)); }
inline uint32_t decode(dec_fn f, const uint8_t *cs, const uint8_t *p, unsigned len) {
  return f(csobj(cs), p, static_cast<uint16_t>(len));
}
inline unsigned encode(enc_fn f, const uint8_t *cs, uint8_t *out, uint32_t v, unsigned width,
                       lxglo *g) {
  return f(csobj(cs), out, v, width, g);
}

}  // namespace lxn

#endif
