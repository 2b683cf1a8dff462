// The sources of a language handle's text items.
#include <string.h>

#include "lxe.h"
#include "lxhint.h"
#include "lxhitem.h"
#include "lxhtext.h"
#include "lxpboot.h"

using namespace nlsobj;

namespace lxhitem {

namespace {

struct Items {
  const lxlangid *h;
  Sink &sink;
  lxglo *g;

  // A UTF-16 pool string of a language or territory object.
  void pool(uint16_t idx, int type, unsigned off, uint32_t min_units = 0, bool one_unit = false) {
    const uint8_t *ob = lxn::get(idx, type, g);
    if (!ob) return;
    unsigned base = type == LXP_TYPE_LANGUAGE ? kLanPool : kTerPool;
    PoolText t = one_unit ? pool_unit(ob, base, off, 1) : pool_text(ob, base, off);
    if (t.count < min_units) t.count = min_units;
    sink.utf16(t.units, t.count);
  }
  void lang(uint16_t idx, unsigned off) { pool(idx, LXP_TYPE_LANGUAGE, off); }
  void ter(uint16_t idx, unsigned off) { pool(idx, LXP_TYPE_TERRITORY, off); }
  void ter_char(unsigned off) { pool(h->ter, LXP_TYPE_TERRITORY, off, 0, true); }

  void own(const void *text, size_t len) { sink.own(static_cast<const char *>(text), len); }
  void word(const char *w) { lxhitem::name(h, w, strlen(w), sink, g); }
  void boot_name(uint16_t idx) {
    const uint8_t *b = lxn::boot(g);
    if (!b || idx == 0 || idx >= lxpboot::count(b)) return;
    const uint8_t *e = lxpboot::entry(b, idx);
    const char *text = lxpboot::ent_name(e);
    unsigned room = lxpboot::ent_namelen(e) ? lxpboot::ent_namelen(e) - 1u : 0u;
    lxhitem::name(h, text, strnlen(text, room), sink, g);
  }
};

}  // namespace

void name(const lxlangid *h, const char *text, size_t len, Sink &sink, lxglo *g) {
  if (h->name_cs == h->cs) {
    sink.own(text, len);
    return;
  }
  const uint8_t *ncs = lxn::get(h->name_cs, LXP_TYPE_CHARSET, g);
  const uint8_t *hcs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!ncs || !hcs) return;
  NameSets s;
  s.from = lxn::csobj(ncs);
  s.to = lxn::csobj(hcs);
  s.single = cs_single(ncs) && cs_single(hcs);
  sink.name(text, len, s);
}

bool text_item(const lxlangid *h, int item, Reader reader, Sink &sink, lxglo *g) {
  Items it{h, sink, g};
  const bool buffer = reader == Reader::Buffer;
  const size_t cw = lxhtext::char_width(h);
  const uint16_t dl = h->date_lang, ter = h->ter;
  const auto at = [](unsigned base, int item, int first) {
    return base + 2u * static_cast<unsigned>(item - first);
  };
  if (item >= 0 && item <= 6) {
    it.lang(dl, at(128, item, 0));
  } else if (item >= 7 && item <= 13) {
    it.lang(dl, at(114, item, 7));
  } else if (item >= 14 && item <= 25) {
    it.lang(dl, at(166, item, 14));
  } else if (item >= 26 && item <= 37) {
    it.lang(dl, at(142, item, 26));
  } else if (item >= 122 && item <= 125) {
    it.ter(ter, at(170, item, 122));
  } else {
    switch (item) {
      case 38: case 39: it.lang(h->lang, at(190, item, 38)); break;
      case 40: case 41: case 42: case 43: it.lang(dl, at(194, item, 40)); break;
      case 44: case 45: it.ter_char(at(136, item, 44)); break;
      case 46: it.ter(ter, 140); break;
      case 47: case 48: it.ter_char(at(146, item, 47)); break;
      case 49: it.ter(ter, 150); break;
      case 50: it.ter_char(152); break;
      case 51: it.ter(ter, 154); break;
      case 52: it.ter(ter, 156); break;
      // the buffer reader gives the ISO code at least three units
      case 53: it.pool(h->iso_ter, LXP_TYPE_TERRITORY, 142, buffer ? 3 : 0); break;
      case 54: it.ter(ter, 144); break;
      case 55: it.ter(h->iso_ter, 158); break;
      case 56: it.ter(ter, 162); break;
      case 57: it.ter(ter, 164); break;
      case 58: it.ter(ter, 166); break;
      case 59: it.ter(ter, 168); break;
      case 85:
        if (!buffer) return false;
        [[fallthrough]];
      case 60: it.boot_name(h->lang); break;
      case 61: it.lang(h->lang, 112); break;
      case 62: it.boot_name(h->lang_cs); break;
      case 63: it.boot_name(h->lang_ter); break;
      case 64: it.ter(ter, 134); break;
      case 65: it.own(h->numchars, cw); break;
      case 66: it.own(h->numchars + cw, cw); break;
      case 67: it.own(h->monchars, cw); break;
      case 68: it.own(h->monchars + cw, cw); break;
      case 69: it.own(h->currency, h->par_len[LXH_PAR_CURRENCY]); break;
      case 121: it.own(h->union_currency, h->par_len[LXH_PAR_UNION]); break;
      case 70: it.boot_name(h->iso_ter); break;
      case 71: it.own(h->numchars, 2 * cw); break;
      case 72: it.own(h->monchars, 2 * cw); break;
      case 73: it.own(h->listsep, cw); break;
      case 74: it.own(h->debit, h->par_len[LXH_PAR_DEBIT]); break;
      case 75: it.own(h->credit, h->par_len[LXH_PAR_CREDIT]); break;
      case 76: it.own(h->date_fmt, h->par_len[LXH_PAR_DATEFMT]); break;
      case 77: it.boot_name(dl); break;
      case 78: it.boot_name(ter); break;
      case 79: it.boot_name(h->cs); break;
      case 80:
        if (h->sort)
          it.boot_name(h->sort);
        else
          it.word("BINARY");
        break;
      case 81:
        if (h->cal == 0)
          it.word("GREGORIAN");
        else if (h->cal < LXE_NCAL)
          it.word(lxetbn[h->cal]->name);
        break;
      case 82: it.own(h->disp_name, strnlen(h->disp_name, sizeof h->disp_name)); break;
      case 83: it.word((h->flags & LXH_F_RTL) ? "RTL" : "LTR"); break;
      case 84:
        if (h->disp_cs) it.boot_name(h->disp_cs);
        break;
      case 110: case 111: case 112: {
        const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
        if (cs) sink.value(cs_padword(cs, static_cast<unsigned>(item - 110)));
        break;
      }
      case 120: it.ter(ter, 132); break;
      case 126: it.own(h->time_fmt, h->par_len[LXH_PAR_TIMEFMT]); break;
      case 127: it.own(h->timestamp_fmt, h->par_len[LXH_PAR_TSFMT]); break;
      case 128: it.own(h->time_tz_fmt, h->par_len[LXH_PAR_TIMETZFMT]); break;
      case 129: it.own(h->timestamp_tz_fmt, h->par_len[LXH_PAR_TSTZFMT]); break;
      case 119: case 130: case 131: case 132:
        if (!buffer) return false;
        if (item == 119) it.word((h->opts & LXH_O_ANSI) ? "ANSI" : "BINARY");
        if (item == 130) it.word((h->opts & LXH_O_CHAR) ? "CHAR" : "BYTE");
        if (item == 131) it.word((h->opts & LXH_O_CONVEXCP) ? "TRUE" : "FALSE");
        if (item == 132) it.word((h->opts & LXH_O_IMPCONV) ? "TRUE" : "FALSE");
        break;
      case 139: it.ter(ter, 180); break;
      case 140: it.ter(ter, 178); break;
      case 141: it.ter(ter, 184); break;
      case 142: it.ter(ter, 182); break;
      case 143: it.ter(ter, 188); break;
      case 144: it.ter(ter, 186); break;
      case 151: it.ter(ter, 194); break;
      default: return false;
    }
  }
  return true;
}

}  // namespace lxhitem
