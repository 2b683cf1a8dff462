// Locale texts written at a character cursor: the language handles' item
// reader writes them (lxhcurinfo).
//
// The day and month names, the morning and afternoon words and the era
// words (items 0 to 43) that the date renderer asks for on every date take a
// short road when the handle's set is single-byte without shift states and
// the whole name fits: its UTF-16 units are converted one by one through the
// set's encoding straight at the cursor, without the 500-byte work buffer
// and the cursor copy behind it. The road ends where it would differ from
// the general one (a name cut by the room, longer than the work buffer, or a
// character that the set writes as a NUL byte): the item is then written
// the general way, which writes the same bytes over the ones written so far.
// Nothing is kept between calls.
//
// Callers: the date and number renderers, through lxlinfo only.
#include "lxc.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxhitem.h"
#include "lxhobj.h"
#include "lxl.h"
#include "lxm.h"

namespace {

using namespace nlsobj;

constexpr int kFirstNameItem = 0;   // day names from Sunday
constexpr int kLastNameItem = 43;   // the era words end the date names
constexpr uint32_t kWork = 500;     // the general road's work buffer

// Takes the UTF-16 source of an item, writing nothing.
class Source final : public lxhitem::Sink {
 public:
  const uint16_t *units = nullptr;
  uint32_t count = 0;

  void utf16(const uint16_t *u, uint32_t n) override {
    units = u;
    count = n;
  }
  void own(const char *, size_t) override {}
  void name(const char *, size_t, const lxhitem::NameSets &) override {}
  void value(uint32_t) override {}
};

// The single-byte road: true when item's whole text went to the cursor as
// the general road would have written it and counted it.
bool single_byte_name(lxmcur *cur, size_t size, int item, lxglo *g) {
  const lxlangid *h = cur->langid;
  if (item < kFirstNameItem || item > kLastNameItem) return false;
  if (!(h->flags & LXH_F_SINGLE) || cur->shift_sensitive) return false;
  const uint8_t *cso = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!cso || !cs_single(cso) || (cs_flags(cso) & CS_STATEFUL) || cso == lxn::wkb()) return false;
  Source src;
  if (!lxhitem::text_item(h, item, lxhitem::Reader::Cursor, src, g)) return false;
  const uint32_t n = src.count;
  if (n == 0 || n > kWork || n > size) return false;
  const lxcsobj *cs = lxn::csobj(cso);
  lxn::mark(g) = 0;
  uint8_t *out = cur->pos;
  for (uint32_t i = 0; i < n; ++i) {
    out[i] = lxcsu2sb(cs, src.units[i], g);
    if (out[i] == 0) return false;
  }
  cur->pos += n;
  g->status = 0;
  g->nbytes = n;
  g->nbytes2 = n;
  g->ncount = static_cast<uint16_t>(n);
  g->ncount2 = static_cast<uint16_t>(n);
  return true;
}

}  // namespace

extern "C" void lxlinfo(lxmcur *cur, size_t size, int item, lxglo *glo) {
  if (cur && cur->langid) {
    const size_t room = lxmleft(cur);
    if (single_byte_name(cur, size < room ? size : room, item, glo)) return;
  }
  lxhcurinfo(cur, size, item, glo);
}
