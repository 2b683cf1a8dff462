// Locale texts written at a character cursor: the text items of the cursor's
// language handle, in its character set, cut at a character boundary (the
// reader behind lxlinfo).
#include <string.h>

#include "lxg.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxhitem.h"
#include "lxhtext.h"
#include "lxl.h"
#include "lxm.h"
#include "lxo.h"

namespace {

constexpr size_t kWork = 500;  // converted texts are staged here

// Writes an item's text at the cursor, at most size bytes.
class CursorSink final : public lxhitem::Sink {
 public:
  CursorSink(lxmcur *cur, size_t size, lxglo *g) : cur_(cur), h_(cur->langid), size_(size), g_(g) {}

  size_t written = 0;  // bytes written at the cursor
  size_t taken = 0;    // bytes of the text taken
  bool cut = false;    // the text did not fit

  void utf16(const uint16_t *units, uint32_t count) override {
    const lxcsobj *cs = lxn::csobj(lxn::get(h_->cs, LXP_TYPE_CHARSET, g_));
    if (!cs || count == 0) return;
    char work[kWork];
    uint32_t n = lxgu2t(work, cs, kWork, units, count, 0, g_);
    copy(work, n);
  }

  void own(const char *text, size_t len) override {
    if (h_->flags & (LXH_F_SINGLE | LXH_F_WIDE)) {
      size_t n = len < size_ ? len : size_;
      if (h_->flags & LXH_F_WIDE) n &= ~static_cast<size_t>(1);
      memcpy(cur_->pos, text, n);
      advance(n, len);
    } else {
      copy(text, len);
    }
  }

  void name(const char *text, size_t len, const lxhitem::NameSets &sets) override {
    if (sets.single) {
      // converted in place at the cursor
      size_t n = len < size_ ? len : size_;
      lxhmcnv(cur_->pos, text, n, sets.to, sets.from, g_);
      advance(n, len);
    } else {
      char work[kWork];
      size_t n = lxgcnv(work, sets.to, kWork, text, sets.from, len, g_);
      copy(work, n);
    }
  }

  void value(uint32_t v) override {
    unsigned n = cur_->single_byte ? 1 : lxhtext::value_bytes(h_, v);
    size_t need = n;
    if (cur_->shift_sensitive && !cur_->single_byte && (n == 1) == (cur_->shifted != 0)) ++need;
    written = need;  // the second count gives the needed length either way
    if (need > size_) {
      cut = true;
      return;
    }
    lxoWriWChar(cur_, v, LXO_NOROOMCHECK, g_);
    taken = n;
  }

 private:
  void advance(size_t n, size_t len) {
    cur_->pos += n;
    written = taken = n;
    cut = n < len;
  }

  // A text in the handle's character set, through the cursor copy that
  // never splits a character.
  void copy(const char *text, size_t len) {
    written = lxoCpToOp(cur_, size_, text, len, LXO_NULTERM, g_);
    taken = g_->nbytes;
    cut = taken < len;
  }

  lxmcur *cur_;
  const lxlangid *h_;
  size_t size_;
  lxglo *g_;
};

}  // namespace

extern "C" void lxhcurinfo(lxmcur *cur, size_t size, int item, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  glo->nbytes2 = 0;
  if (!cur || !cur->langid) return;
  size_t room = lxmleft(cur);
  if (size > room) size = room;
  if (size == 0) return;
  CursorSink text(cur, size, glo);
  if (!lxhitem::text_item(cur->langid, item, lxhitem::Reader::Cursor, text, glo)) {
    glo->status = 9;
    return;
  }
  glo->status = text.cut ? LXS_SMALL : 0;
  glo->nbytes = text.taken;
  glo->nbytes2 = text.written;
}
