// Locale texts written at a character cursor: the language handles' item
// reader writes them (lxhcurinfo).
//
// The day and month names, the morning and afternoon words and the era
// words (items 0 to 43) that the date renderer asks for on every date take a
// short road when the handle's set is single-byte without shift states and
// the whole name fits: its UTF-16 units are converted one by one through the
// set's encoding straight at the cursor, without the 500-byte work buffer
// and the cursor copy behind it; units below 0x100 read their bytes from
// the set's first encoding row, found once per call. The road ends where it
// would differ from the general one (a name cut by the room, longer than the
// work buffer, a character that the set writes as a NUL byte, or a set not
// loaded yet): the item is then written the general way, which writes the
// same bytes over the ones written so far. Nothing is kept between calls.
//
// Callers: the date and number renderers, through lxlinfo only.
#include <cassert>
#include <cstring>

#include "lxc.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxhitem.h"
#include "lxfobj.h"
#include "lxm.h"

namespace {

using namespace nlsobj;

constexpr int kFirstNameItem = LXI_DAY;  // day names from Sunday
constexpr int kLastNameItem = LXI_BC;    // the era words end the date names
constexpr uint32_t kWork = 500;     // the general road's work buffer

// The first row of a single-byte set's encoding rows (units 0 to 0xFF):
// usable when it is a dense row lying whole inside the rows' table, as a
// single-byte set's rows are; the byte of unit u is then bytes[u * width].
constexpr uint32_t kRowUnits = 0x100;

struct FirstRow {
  const uint8_t *bytes = nullptr;
  unsigned width = 0;

  explicit FirstRow(const lxcsobj *cs) {
    const uint8_t *rows = lxcstab(cs, LXCT_U2M);
    const size_t len = lxcstablen(cs, LXCT_U2M);
    if (len < sizeof(lxcsrow)) return;
    lxcsrow rec;
    memcpy(&rec, rows, sizeof rec);
    if (rec.flags == 0 || (rec.flags & LXCSR_SPARSE)) return;
    const unsigned w = (rec.flags & LXCSR_WIDTH) ? (rec.flags & LXCSR_WIDTH) : 1u;
    const size_t at = rec.at;
    if (at > len || size_t(kRowUnits) * w > len - at) return;
    bytes = rows + at;
    width = w;
  }
};

// The byte of unit u in a single-byte set: through the first row when it
// serves, else (and for the replacement byte, whose mark the encoder sets)
// through the set's encoder. The row's fields are the caller's locals, so
// that the bytes it writes cannot make the loop read them again.
inline uint8_t single_byte(const lxcsobj *cs, const uint8_t *row, unsigned width, uint8_t repl,
                           uint16_t u, lxglo *g) {
  if (row && u < kRowUnits) {
    const uint8_t b = row[size_t(u) * width];
    if (b != repl) {
      assert(b == lxcsu2sb(cs, u, g));
      return b;
    }
  }
  return lxcsu2sb(cs, u, g);
}

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
  Source src;
  if (!lxhitem::text_item(h, item, lxhitem::Reader::Cursor, src, g)) return false;
  const uint32_t n = src.count;
  if (n == 0 || n > kWork || n > size) return false;
  // The set as lxn::get finds it once loaded (as it is once its handle is
  // made); a set not loaded yet is loaded by the general road. Index 0 is
  // the boot block's slot, no set.
  const uint8_t *cso = h->cs != 0 ? lxn::loaded(g, h->cs) : nullptr;
  if (!cso || !cs_single(cso) || (cs_flags(cso) & CS_STATEFUL) || cso == lxn::wkb()) return false;
  const lxcsobj *cs = lxn::csobj(cso);
  const FirstRow row(cs);
  const uint8_t *const bytes = row.bytes;
  const unsigned width = row.width;
  const uint8_t repl = cs->sb_repl;
  const uint16_t *const units = src.units;
  lxn::mark(g) = 0;
  uint8_t *const out = cur->pos;
  uint32_t i = 0;
  // the row's bytes, up to a unit that needs the encoder or a NUL byte
  if (bytes) {
    for (; i < n; ++i) {
      const uint16_t u = units[i];
      if (u >= kRowUnits) break;
      const uint8_t b = bytes[size_t(u) * width];
      if (b == repl || b == 0) break;
      assert(b == lxcsu2sb(cs, u, g));
      out[i] = b;
    }
  }
  for (; i < n; ++i) {
    const uint8_t b = single_byte(cs, bytes, width, repl, units[i], g);
    if (b == 0) return false;
    out[i] = b;
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
