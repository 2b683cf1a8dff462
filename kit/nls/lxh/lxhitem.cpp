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
  if (item >= LXI_DAY && item < LXI_DAY + 7) {
    it.lang(dl, at(LXLAN_DAY, item, LXI_DAY));
  } else if (item >= LXI_ABDAY && item < LXI_ABDAY + 7) {
    it.lang(dl, at(LXLAN_ABDAY, item, LXI_ABDAY));
  } else if (item >= LXI_MONTH && item < LXI_MONTH + 12) {
    it.lang(dl, at(LXLAN_MONTH, item, LXI_MONTH));
  } else if (item >= LXI_ABMONTH && item < LXI_ABMONTH + 12) {
    it.lang(dl, at(LXLAN_ABMONTH, item, LXI_ABMONTH));
  } else if (item >= LXI_TERTIMEFMT2 && item <= LXI_TERTSTZFMT) {
    it.ter(ter, at(LXTER_TIMEFMT2, item, LXI_TERTIMEFMT2));
  } else {
    switch (item) {
      case LXI_YES: case LXI_NO: it.lang(h->lang, at(LXLAN_YES, item, LXI_YES)); break;
      case LXI_AM: case LXI_AM + 1: case LXI_AM + 2: case LXI_BC:
        it.lang(dl, at(LXLAN_AM, item, LXI_AM));
        break;
      case LXI_TERDECIMAL: case LXI_TERGROUP:
        it.ter_char(at(LXTER_DECIMAL, item, LXI_TERDECIMAL));
        break;
      case LXI_TER46: it.ter(ter, LXTER_ITEM46); break;
      case LXI_TERMONDECIMAL: case LXI_TERMONGROUP:
        it.ter_char(at(LXTER_MONDECIMAL, item, LXI_TERMONDECIMAL));
        break;
      case LXI_TER49: it.ter(ter, LXTER_ITEM49); break;
      case LXI_TERLISTSEP: it.ter_char(LXTER_LISTSEP); break;
      case LXI_TERDEBIT: it.ter(ter, LXTER_DEBIT); break;
      case LXI_TERCREDIT: it.ter(ter, LXTER_CREDIT); break;
      // the buffer reader gives the ISO code at least three units
      case LXI_ISOCURRENCY:
        it.pool(h->iso_ter, LXP_TYPE_TERRITORY, LXTER_ISOCURR, buffer ? 3 : 0);
        break;
      case LXI_TERCURRENCY: it.ter(ter, LXTER_CURRENCY); break;
      case LXI_ISO55: it.ter(h->iso_ter, LXTER_ITEM55); break;
      case LXI_SYSDATEFMT: it.ter(ter, LXTER_SYSDATEFMT); break;
      case LXI_SYSTIMEFMT: it.ter(ter, LXTER_SYSTIMEFMT); break;
      case LXI_TERDATEFMT: it.ter(ter, LXTER_DATEFMT); break;
      case LXI_TERTIMEFMT: it.ter(ter, LXTER_TIMEFMT); break;
      case LXI_LANGUAGE2:
        if (!buffer) return false;
        [[fallthrough]];
      case LXI_LANGUAGE: it.boot_name(h->lang); break;
      case LXI_LANGABBR: it.lang(h->lang, LXLAN_ABBR); break;
      case LXI_LANGCS: it.boot_name(h->lang_cs); break;
      case LXI_LANGTER: it.boot_name(h->lang_ter); break;
      case LXI_TERABBR: it.ter(ter, LXTER_ABBR); break;
      case LXI_DECIMAL: it.own(h->numchars, cw); break;
      case LXI_GROUP: it.own(h->numchars + cw, cw); break;
      case LXI_MONDECIMAL: it.own(h->monchars, cw); break;
      case LXI_MONGROUP: it.own(h->monchars + cw, cw); break;
      case LXI_CURRENCY: it.own(h->currency, h->par_len[LXH_PAR_CURRENCY]); break;
      case LXI_UNION: it.own(h->union_currency, h->par_len[LXH_PAR_UNION]); break;
      case LXI_ISOTERRITORY: it.boot_name(h->iso_ter); break;
      case LXI_NUMCHARS: it.own(h->numchars, 2 * cw); break;
      case LXI_MONCHARS: it.own(h->monchars, 2 * cw); break;
      case LXI_LISTSEP: it.own(h->listsep, cw); break;
      case LXI_DEBIT: it.own(h->debit, h->par_len[LXH_PAR_DEBIT]); break;
      case LXI_CREDIT: it.own(h->credit, h->par_len[LXH_PAR_CREDIT]); break;
      case LXI_DATEFMT: it.own(h->date_fmt, h->par_len[LXH_PAR_DATEFMT]); break;
      case LXI_DATELANG: it.boot_name(dl); break;
      case LXI_TERRITORY: it.boot_name(ter); break;
      case LXI_CHARSET: it.boot_name(h->cs); break;
      case LXI_SORT:
        if (h->sort)
          it.boot_name(h->sort);
        else
          it.word("BINARY");
        break;
      case LXI_CALENDAR:
        if (h->cal == 0)
          it.word("GREGORIAN");
        else if (h->cal < LXE_NCAL)
          it.word(lxetbn[h->cal]->name);
        break;
      case LXI_DISPNAME: it.own(h->disp_name, strnlen(h->disp_name, sizeof h->disp_name)); break;
      case LXI_DIRECTION: it.word((h->flags & LXH_F_RTL) ? "RTL" : "LTR"); break;
      case LXI_DISPCS:
        if (h->disp_cs) it.boot_name(h->disp_cs);
        break;
      case LXI_PADCHAR: case LXI_PADCHAR + 1: case LXI_CHAR3: {
        const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
        if (cs) sink.value(cs_padword(cs, static_cast<unsigned>(item - LXI_PADCHAR)));
        break;
      }
      case LXI_TERUNION: it.ter(ter, LXTER_UNION); break;
      case LXI_TIMEFMT: it.own(h->time_fmt, h->par_len[LXH_PAR_TIMEFMT]); break;
      case LXI_TSFMT: it.own(h->timestamp_fmt, h->par_len[LXH_PAR_TSFMT]); break;
      case LXI_TIMETZFMT: it.own(h->time_tz_fmt, h->par_len[LXH_PAR_TIMETZFMT]); break;
      case LXI_TSTZFMT: it.own(h->timestamp_tz_fmt, h->par_len[LXH_PAR_TSTZFMT]); break;
      case LXI_COMP: case LXI_LENSEM: case LXI_CONVEXCP: case LXI_IMPCONV:
        if (!buffer) return false;
        if (item == LXI_COMP) it.word((h->opts & LXH_O_ANSI) ? "ANSI" : "BINARY");
        if (item == LXI_LENSEM) it.word((h->opts & LXH_O_CHAR) ? "CHAR" : "BYTE");
        if (item == LXI_CONVEXCP) it.word((h->opts & LXH_O_CONVEXCP) ? "TRUE" : "FALSE");
        if (item == LXI_IMPCONV) it.word((h->opts & LXH_O_IMPCONV) ? "TRUE" : "FALSE");
        break;
      case LXI_TER139: it.ter(ter, LXTER_ITEM139); break;
      case LXI_TER140: it.ter(ter, LXTER_ITEM140); break;
      case LXI_TER141: it.ter(ter, LXTER_ITEM141); break;
      case LXI_TER142: it.ter(ter, LXTER_ITEM142); break;
      case LXI_TER143: it.ter(ter, LXTER_ITEM143); break;
      case LXI_TER144: it.ter(ter, LXTER_ITEM144); break;
      case LXI_TER151: it.ter(ter, LXTER_ITEM151); break;
      default: return false;
    }
  }
  return true;
}

}  // namespace lxhitem
