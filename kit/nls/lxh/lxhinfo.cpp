// Reading a language handle's items: texts in the handle's character set
// and numbers.
#include <string.h>

#include "lxe.h"
#include "lxg.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxhitem.h"
#include "lxhtext.h"
#include "lxpboot.h"

using namespace nlsobj;

namespace {

// Writes an item's text into the caller's buffer, cut to fit.
class BufSink final : public lxhitem::Sink {
 public:
  BufSink(const lxlangid *h, char *buf, size_t room, lxglo *g)
      : h_(h), buf_(buf), room_(room), g_(g) {}
  size_t len() const { return len_ < room_ ? len_ : room_; }

  void utf16(const uint16_t *units, uint32_t count) override {
    const uint8_t *cs = lxn::get(h_->cs, LXP_TYPE_CHARSET, g_);
    if (!cs || count == 0) return;
    len_ = lxgu2t(buf_, lxn::csobj(cs), static_cast<uint32_t>(room_), units, count, 0, g_);
  }

  void own(const char *text, size_t len) override {
    len_ = lxhtext::fit(h_, text, len, room_, g_);
    memcpy(buf_, text, len_);
  }

  void name(const char *text, size_t len, const lxhitem::NameSets &sets) override {
    if (sets.single) {
      size_t n = len < room_ ? len : room_;
      lxhmcnv(buf_, text, n, sets.to, sets.from, g_);
      len_ = n;
    } else {
      len_ = lxgcnv(buf_, sets.to, room_, text, sets.from, len, g_);
    }
  }

  void value(uint32_t v) override {
    unsigned n = lxhtext::value_bytes(h_, v);
    if (n > room_) return;
    for (unsigned k = 0; k < n; ++k) buf_[k] = static_cast<char>(v >> (8 * (n - 1 - k)));
    len_ = n;
  }

 private:
  const lxlangid *h_;
  char *buf_;
  size_t room_;  // bytes for the text, terminator excluded
  lxglo *g_;
  size_t len_ = 0;
};

}  // namespace

extern "C" char *lxhlinfo(const lxlangid *h, int item, char *buf, size_t size, lxglo *g) {
  lxn::status(g) = 0;
  if (size == 0) return buf;
  if (!h) {
    buf[0] = 0;
    return buf;
  }
  size_t nul = (h->flags & LXH_F_WIDE) ? 2 : 1;
  if (size < 2 * nul) {
    memset(buf, 0, size);
    return buf;
  }
  size_t room = size - nul;
  BufSink text(h, buf, room, g);
  lxhitem::text_item(h, item, lxhitem::Reader::Buffer, text, g);
  size_t len = text.len();
  if (item == 80) {
    // the sort's option suffix, when it fits whole
    const char *sfx = (h->opts & LXH_O_AI) ? "_AI" : (h->opts & LXH_O_CI) ? "_CI" : nullptr;
    if (sfx && len + 3 * nul <= room) {
      BufSink more(h, buf + len, room - len, g);
      lxhitem::name(h, sfx, 3, more, g);
      len += more.len();
    }
  }
  memset(buf + len, 0, nul);
  lxn::status(g) = 0;
  return buf;
}

namespace {

int32_t u16(const uint8_t *o, unsigned off) { return o ? rd16(o + off) : -1; }

// Fields of the language and territory objects the numeric items read.
constexpr unsigned lan_width(unsigned k) { return LX_ELEM(lxlanobj, width, k); }
constexpr unsigned lan_longest(unsigned k) { return LX_ELEM(lxlanobj, longest, k); }
constexpr unsigned ter_num(unsigned k) { return LX_ELEM(lxterobj, num, k); }
// Longest month, short month, day and short day name (items LXI_LONGMONTH
// to LXI_LONGABDAY and their byte lengths).
constexpr unsigned kLongest[] = {lan_longest(0), lan_longest(2), lan_longest(1), lan_longest(3)};
constexpr unsigned sort_opt(unsigned k) { return LX_ELEM(lxsrtobj, opt, k); }

// Bytes a length in characters takes in the handle's character set.
// The calendar record of a handle whose calendar is not the Gregorian one.
const lxecal *calendar(const lxlangid *h) {
  return h->cal != 0 && h->cal < LXE_NCAL ? lxetbn[h->cal] : nullptr;
}

int32_t to_bytes(const lxlangid *h, int item, int32_t len, const uint8_t *dl, const uint8_t *cs) {
  int32_t bytes = h->mb_len;
  if (h->flags & LXH_F_SHIFT) return len * (bytes + 2) / 2;
  if (bytes <= 1) return len;
  if (bytes == 2)
    return (item == LXI_LONGABMONTHBYTES || item == LXI_LONGABDAYBYTES) ? len * 2 : len * 3 / 2;
  bool half = cs && !(cs_flags(cs) & (0x4000u | 0x8000u)) && cs_id(cs) != 872;
  if (half) return len * bytes / 2;
  int32_t lang = dl ? lan_id(dl) : 0;
  if (lang >= 33 && lang <= 36) return len * bytes / 2;
  return len * bytes;
}

}  // namespace

extern "C" int32_t lxhninfo(const lxlangid *h, int item, lxglo *g) {
  lxn::status(g) = 0;
  if (!h) {
    lxn::status(g) = 9;
    return -1;
  }
  auto ter = [&] { return lxn::get(h->ter, LXP_TYPE_TERRITORY, g); };
  auto dl = [&] { return lxn::get(h->date_lang, LXP_TYPE_LANGUAGE, g); };
  auto sortflag = [&](unsigned off, uint16_t bit) -> int32_t {
    if (!h->sort) return 1;
    const uint8_t *s = lxn::get(h->sort, LXP_TYPE_SORT, g);
    if (!s) return -1;
    return (sort_flags(s) & bit) ? rd16(s + off) : 1;
  };
  switch (item) {
    case LXI_TERNUM6: return u16(ter(), ter_num(6));
    case LXI_TERNUM7: return u16(ter(), ter_num(7));
    case LXI_TERNUM0: return u16(ter(), ter_num(0));
    case LXI_TERNUM8: return u16(ter(), ter_num(8));
    case LXI_TERNUM9: return u16(ter(), ter_num(9));
    case LXI_LANWIDTH0: return u16(dl(), lan_width(0));
    case LXI_LANWIDTH1: return u16(dl(), lan_width(1));
    // A calendar other than the Gregorian one has its own month widths.
    case LXI_LONGMONTH:
    case LXI_LONGABMONTH:
      if (const lxecal *cal = calendar(h))
        return item == LXI_LONGMONTH ? cal->longest_name : cal->longest_abbr;
      return u16(dl(), kLongest[item - LXI_LONGMONTH]);
    case LXI_LONGDAY: return u16(dl(), kLongest[2]);
    case LXI_LONGABDAY: return u16(dl(), kLongest[3]);
    case LXI_FIRSTDAY: case LXI_TERNUM2: case LXI_TERNUM3:
    case LXI_TERNUM4: case LXI_TERNUM5:
      return u16(ter(), ter_num(1 + static_cast<unsigned>(item - LXI_FIRSTDAY)));
    case LXI_TERFLAGS: {
      const uint8_t *t = ter();
      return t ? static_cast<int32_t>(ter_flags(t)) : -1;
    }
    case LXI_CSW94: return u16(lxn::get(h->cs, LXP_TYPE_CHARSET, g), offsetof(lxcsobj, w94));
    case LXI_SORTOPT1: return sortflag(sort_opt(1), 0x4);
    case LXI_SORTOPT2: return sortflag(sort_opt(2), 0x8);
    case LXI_SORTOPT0: return sortflag(sort_opt(0), 0x1);
    case LXI_SORTOPT3: return sortflag(sort_opt(3), 0x10);
    case LXI_STORAGE: return static_cast<int32_t>(h->opts & LXH_O_VISUAL);
    case LXI_LANGID: return u16(lxn::get(h->lang, LXP_TYPE_LANGUAGE, g), offsetof(lxlanobj, id));
    case LXI_TERID: return u16(ter(), offsetof(lxterobj, id));
    case LXI_LONGMONTHBYTES: case LXI_LONGABMONTHBYTES:
    case LXI_LONGDAYBYTES: case LXI_LONGABDAYBYTES: {
      const uint8_t *d = dl();
      if (!d) return -1;
      int32_t len = rd16(d + kLongest[item - LXI_LONGMONTHBYTES]);
      // the lengths of the month items follow the calendar
      if (const lxecal *cal = calendar(h);
          cal && (item == LXI_LONGMONTHBYTES || item == LXI_LONGABMONTHBYTES))
        len = item == LXI_LONGMONTHBYTES ? cal->longest_name : cal->longest_abbr;
      return to_bytes(h, item, len, d, lxn::get(h->cs, LXP_TYPE_CHARSET, g));
    }
    case LXI_COMP: return static_cast<int32_t>(h->opts & LXH_O_ANSI);
    case LXI_LENSEM: return static_cast<int32_t>(h->opts & LXH_O_CHAR);
    case LXI_CONVEXCP: return static_cast<int32_t>(h->opts & LXH_O_CONVEXCP);
    case LXI_IMPCONV: return static_cast<int32_t>(h->opts & LXH_O_IMPCONV);
    default:
      lxn::status(g) = 9;
      return -1;
  }
}

extern "C" int lxhnmod(lxlangid *h, uint32_t value32, int item, int reset, lxglo *g) {
  if (!h) return 0;
  uint16_t value = static_cast<uint16_t>(value32);
  switch (item) {
    case LXI_CHARSET:
      return lxpcidset(value, reset, h, g);
    case 108:
      if (reset) {
        h->opts &= ~LXH_O_VISUAL;
        if (value != 0 && value != LXH_O_VISUAL) lxn::status(g) = 25;
      } else if (value == 0 || value == LXH_O_VISUAL) {
        h->opts = (h->opts & ~LXH_O_VISUAL) | value;
      } else {
        h->opts &= ~LXH_O_VISUAL;
        lxn::status(g) = 25;
      }
      return 1;
    case 119: case 130: case 131: case 132: {
      uint32_t bit = item == 119 ? LXH_O_ANSI : item == 130 ? LXH_O_CHAR
                   : item == 131 ? LXH_O_CONVEXCP : LXH_O_IMPCONV;
      uint32_t st = item == 119 ? 29u : item == 130 ? 31u : item == 131 ? 32u : 33u;
      if (value == 0 || value == bit) {
        h->opts = (h->opts & ~bit) | value;
      } else {
        lxn::status(g) = st;
        if (reset) {
          bool dflt_on = bit == LXH_O_CONVEXCP || bit == LXH_O_IMPCONV;
          h->opts = dflt_on ? (h->opts | bit) : (h->opts & ~bit);
        }
      }
      return 0;
    }
    default:
      return 0;
  }
}
