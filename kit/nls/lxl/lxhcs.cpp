// Character-set look-ups of a handle or environment, and the single-byte
// table conversion.
#include <string.h>

#include "lst.h"
#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxlget.h"
#include "lxlname.h"
#include "lxpboot.h"

using namespace nlsobj;

namespace {
const uint8_t *obj(const lxcsobj *cs) { return reinterpret_cast<const uint8_t *>(cs); }
}  // namespace

extern "C" size_t lxhnsize(const lxcsobj *cs) {
  const uint8_t *o = obj(cs);
  if (!o) return 0;
  if (cs_flags(o) & CS_FIXED) return cs_max(o);
  return cs_max(o) == 1 ? 1 : 0;
}

extern "C" const lxcsobj *lxhci2h(uint16_t id, lxglo *g) {
  if (id != 0) {
    for (int i = 0; i < 2; ++i)
      if (lxn::cache_id(g, i) == id)
        return lxn::csobj(lxn::get(lxn::cache_idx(g, i), LXP_TYPE_CHARSET, g));
    if (id == ID_UCS) return lxn::csobj(lxn::ucs());
    if (id == ID_AL16UTF16LE) return lxn::csobj(lxn::utf16le());
    if (id == ID_WKB) return lxn::csobj(lxn::wkb());
  }
  int nf = 1;
  uint16_t idx = lxpe2i(id, lxn::table(g), LXP_TYPE_CHARSET, &nf, 0);
  if (nf || !lxn::boot(g)) return nullptr;
  int slot = lxn::cache_next(g) & 1;
  lxn::cache_id(g, slot) = id;
  lxn::cache_idx(g, slot) = idx;
  lxn::cache_next(g) = static_cast<uint8_t>(slot ^ 1);
  return lxn::csobj(lxn::get(idx, LXP_TYPE_CHARSET, g));
}

extern "C" const lxcsobj *lxhchtoid(const char *name, size_t length, lxglo *g) {
  if (name && length == 11 && lstmclo(name, "al16utf16le", 11) == 0) return lxn::csobj(lxn::utf16le());
  const uint8_t *b = lxn::boot(g);
  if (!b) return nullptr;
  int nf = 1;
  uint16_t idx = lxpcget(name, length, lxn::table(g), lxpboot::first(b, LXP_TYPE_CHARSET), &nf);
  if (nf) return nullptr;
  return lxn::csobj(lxn::get(idx, LXP_TYPE_CHARSET, g));
}

extern "C" int lxhasc(const lxlangid *h, lxglo *g) {
  const uint8_t *cs = h ? lxn::get(h->cs, LXP_TYPE_CHARSET, g) : nullptr;
  return cs ? static_cast<int>(cs_flags(cs) & CS_ASCII) : 0;
}

extern "C" uint16_t lxhcsn(const lxlangid *h, lxglo *g) {
  if (!h) return 0;
  if (h->cs == ID_UCS || h->cs == ID_AL16UTF16LE) {
    const uint8_t *b = lxn::boot(g);
    // the two ids a handle may hold directly in place of a boot index
    if (!b || h->cs >= lxpboot::count(b)) return h->cs;
  }
  const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  return cs ? cs_id(cs) : 0;
}

extern "C" uint16_t lxhh2ci(const lxcsobj *cs, lxglo *g) {
  (void)g;
  return cs ? cs_id(obj(cs)) : 0;
}

extern "C" void *lxhmcnv(void *buf, const void *text, size_t length, const lxcsobj *target,
                         const lxcsobj *source, lxglo *g) {
  lxn::mark(g) = 0;
  if (length == 0) return buf;
  memmove(buf, text, length);
  if (target == source) return buf;
  auto *p = static_cast<uint8_t *>(buf);
  for (size_t i = 0; i < length; ++i) p[i] = lxcsu2sb(target, cs_sbu(obj(source), p[i]), g);
  return buf;
}
