// Changing a language handle's NLS parameters from text values.
#include <string.h>

#include "lst.h"
#include "lxe.h"
#include "lxg.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxhtext.h"
#include "lxpboot.h"

using namespace nlsobj;

namespace {

// The single ASCII byte a character stands for, or -1.
int ascii_of(const uint8_t *c, size_t cw) {
  if (cw == 1) return c[0];
  return c[0] == 0 ? c[1] : -1;
}

bool is_digit(const lxlangid *h, const uint8_t *c, size_t cw, lxglo *g) {
  const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!cs) return false;
  uint8_t b = (cw == 2 && c[0] == 0) ? c[1] : c[0];
  if (cw == 2 && c[0] != 0) return false;
  return (cs_class(cs, b) & LXCC_DIGIT) != 0;
}

bool forbidden(const lxlangid *h, const uint8_t *c, size_t cw, const char *set, lxglo *g) {
  int a = ascii_of(c, cw);
  if (a > 0 && strchr(set, a)) return true;
  return is_digit(h, c, cw, g);
}

// A word of the option items: the first letter, then the word's length,
// ignoring case; a longer value that begins with the word matches.
bool is_word(const char *text, size_t len, const char *w) {
  size_t wl = strlen(w);
  return len >= wl && lstmclo(text, w, wl) == 0;
}

struct TextItem {
  int item;
  size_t field;
  size_t size;
  int par;
  size_t limit;     // longest text in bytes (one less for two-byte sets)
  unsigned def;     // the territory's default string
  uint32_t keep;    // handle flag of an explicit value
  bool currency;    // the first character is checked
};

constexpr TextItem kTexts[] = {
    {LXI_CURRENCY, offsetof(lxlangid, currency), LXH_CURRENCY_SIZE, LXH_PAR_CURRENCY, 10, LXTER_CURRENCY,
     LXH_F_KEEP_CURRENCY, true},
    {LXI_UNION, offsetof(lxlangid, union_currency), LXH_UNION_SIZE, LXH_PAR_UNION, 10, LXTER_UNION,
     LXH_F_KEEP_UNION, true},
    {LXI_DEBIT, offsetof(lxlangid, debit), LXH_DEBIT_SIZE, LXH_PAR_DEBIT, 9, LXTER_DEBIT, LXH_F_KEEP_DEBIT, false},
    {LXI_CREDIT, offsetof(lxlangid, credit), LXH_CREDIT_SIZE, LXH_PAR_CREDIT, 9, LXTER_CREDIT, LXH_F_KEEP_CREDIT,
     false},
    {LXI_DATEFMT, offsetof(lxlangid, date_fmt), LXH_DATEFMT_SIZE, LXH_PAR_DATEFMT, 59, LXTER_DATEFMT,
     LXH_F_KEEP_FORMATS, false},
    {LXI_TIMEFMT, offsetof(lxlangid, time_fmt), LXH_TIMEFMT_SIZE, LXH_PAR_TIMEFMT, 47, LXTER_TIMEFMT2,
     LXH_F_KEEP_FORMATS, false},
    {LXI_TSFMT, offsetof(lxlangid, timestamp_fmt), LXH_TSFMT_SIZE, LXH_PAR_TSFMT, 79, LXTER_TSFMT,
     LXH_F_KEEP_FORMATS, false},
    {LXI_TIMETZFMT, offsetof(lxlangid, time_tz_fmt), LXH_TIMETZFMT_SIZE, LXH_PAR_TIMETZFMT, 67, LXTER_TIMETZFMT,
     LXH_F_KEEP_FORMATS, false},
    {LXI_TSTZFMT, offsetof(lxlangid, timestamp_tz_fmt), LXH_TSTZFMT_SIZE, LXH_PAR_TSTZFMT, 99, LXTER_TSTZFMT,
     LXH_F_KEEP_FORMATS, false},
};

// Length recorded for a stored text: up to its terminator.
size_t stored_len(const lxlangid *h, const char *p, size_t size) {
  if (!(h->flags & LXH_F_WIDE)) return strnlen(p, size);
  size_t n = 0;
  while (n + 1 < size && (p[n] || p[n + 1])) n += 2;
  return n;
}

// The territory's default of a text item into its field.
bool territory_text(lxlangid *h, const TextItem &t, lxglo *g) {
  const uint8_t *ter = lxn::get(h->ter, LXP_TYPE_TERRITORY, g);
  const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!ter || !cs) return false;
  uint32_t st = g->status;  // a cut default is not the caller's failure
  lxhtext::put_territory_text(h, t.field, t.size, t.par, t.def, ter, lxn::csobj(cs), g);
  g->status = st;
  return true;
}

int set_text(lxlangid *h, const TextItem &t, const char *text, size_t len, int reset, lxglo *g) {
  if (!text || len == 0) {
    if (!reset) return 0;
    if (!territory_text(h, t, g)) return 0;
    h->flags &= ~t.keep;
    if (t.keep == LXH_F_KEEP_FORMATS) h->flags |= LXH_F_DATEFMT;
    return 1;
  }
  size_t cw = lxhtext::char_width(h);
  if (t.currency && forbidden(h, reinterpret_cast<const uint8_t *>(text), len >= cw ? cw : 1,
                              "+-<>", g))
    return 0;
  size_t limit = cw == 2 ? t.limit - 1 : t.limit;
  size_t n = lxhtext::fit(h, text, len, limit, g);
  char *dst = reinterpret_cast<char *>(h) + t.field;
  memset(dst, 0, t.size);
  memcpy(dst, text, n);
  h->par_len[t.par] = static_cast<uint8_t>(stored_len(h, dst, t.size));
  h->flags |= t.keep;
  if (t.keep == LXH_F_KEEP_FORMATS) h->flags |= LXH_F_DATEFMT;
  return 1;
}

// Item 81: the calendar by name, the character set of its texts, and its
// default date format (the territory's for the Gregorian calendar) unless
// the formats were set explicitly.
int set_calendar(lxlangid *h, const char *name, size_t len, int reset, lxglo *g) {
  int found = 0;
  const int cal = lxedget(name, len, &found);
  if (!found && !reset) return 0;
  const lxecal *rec = lxetbn[cal];
  uint16_t cc = h->cs;
  if (rec->csid != 0) {
    int nf = 0;
    cc = lxpe2i(rec->csid, lxn::table(g), LXP_TYPE_CHARSET, &nf, 0);
    if (nf || !lxn::get(cc, LXP_TYPE_CHARSET, g)) return 0;
  }
  h->cal = static_cast<uint16_t>(cal);
  h->cal_cs = cc;
  if (h->flags & LXH_F_KEEP_FORMATS) return 1;
  const TextItem &t = kTexts[4];
  if (cal == 0) {
    territory_text(h, t, g);
  } else {
    const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
    const uint8_t *from = lxn::get(cc, LXP_TYPE_CHARSET, g);
    if (!cs || !from) return 0;
    char *dst = reinterpret_cast<char *>(h) + t.field;
    memset(dst, 0, t.size);
    const uint32_t st = g->status;
    const size_t limit = lxhtext::char_width(h) == 2 ? t.limit - 1 : t.limit;
    lxgcnv(dst, lxn::csobj(cs), limit, rec->datefmt, lxn::csobj(from), strlen(rec->datefmt), g);
    g->status = st;
    h->par_len[t.par] = static_cast<uint8_t>(stored_len(h, dst, t.size));
  }
  h->flags |= LXH_F_DATEFMT;
  return 1;
}

// Items 71 and 72: two characters, different, neither a digit nor a sign.
int set_pair(lxlangid *h, uint8_t *field, unsigned def1, unsigned def2, uint32_t keep,
             const char *text, size_t len, int reset, lxglo *g) {
  if (!text || len == 0) {
    if (!reset) return 0;
    const uint8_t *ter = lxn::get(h->ter, LXP_TYPE_TERRITORY, g);
    const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
    if (!ter || !cs) return 0;
    uint16_t units[2] = {pool_unit(ter, kTerPool, def1, 1).units[0],
                         pool_unit(ter, kTerPool, def2, 1).units[0]};
    uint32_t st = g->status;
    memset(field, 0, 4);
    lxgu2t(field, lxn::csobj(cs), 4, units, 2, 0, g);
    g->status = st;
    h->flags &= ~keep;
    return 1;
  }
  size_t cw = lxhtext::char_width(h);
  if (len < 2 * cw) return 0;
  auto c1 = reinterpret_cast<const uint8_t *>(text), c2 = c1 + cw;
  if (memcmp(c1, c2, cw) == 0) return 0;
  if (forbidden(h, c1, cw, "+-<>", g) || forbidden(h, c2, cw, "+-<>", g)) return 0;
  memset(field, 0, 4);
  memcpy(field, c1, 2 * cw);
  h->flags |= keep;
  return 1;
}

int set_listsep(lxlangid *h, const char *text, size_t len, int reset, lxglo *g) {
  if (!text || len == 0) {
    if (!reset) return 0;
    const uint8_t *ter = lxn::get(h->ter, LXP_TYPE_TERRITORY, g);
    const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
    if (!ter || !cs) return 0;
    uint16_t unit = pool_unit(ter, kTerPool, 152, 1).units[0];
    uint32_t st = g->status;
    memset(h->listsep, 0, 2);
    lxgu2t(h->listsep, lxn::csobj(cs), 2, &unit, 1, 0, g);
    g->status = st;
    h->flags &= ~LXH_F_KEEP_LISTSEP;
    return 1;
  }
  size_t cw = lxhtext::char_width(h);
  if (len != cw) return 0;
  auto c = reinterpret_cast<const uint8_t *>(text);
  if (forbidden(h, c, cw, "+-.<>", g)) return 0;
  if (cw == 2 && (memcmp(c, h->numchars, 2) == 0 || memcmp(c, h->monchars, 2) == 0)) return 0;
  memset(h->listsep, 0, 2);
  memcpy(h->listsep, c, cw);
  h->flags |= LXH_F_KEEP_LISTSEP;
  return 1;
}

}  // namespace

extern "C" int lxhlmod(lxlangid *h, const char *text, size_t length, int item, int parse, int reset,
                       lxglo *g) {
  if (!h) return 0;
  if (!text) length = 0;
  const lxlobj *tab = lxn::table(g);
  // The name items take their part of a LANGUAGE_TERRITORY.CHARSET value.
  const char *name = text;
  size_t nlen = length;
  if (parse && text &&
      (item == 70 || item == 77 || item == 78 || item == 79 || item == 85)) {
    int part = (item == 70 || item == 78) ? LXP_ITEM_TERRITORY
               : item == 79               ? LXP_ITEM_CHARSET
                                          : LXP_ITEM_LANGUAGE;
    name = lxpname(text, length, part, &nlen);
  }
  for (const auto &t : kTexts)
    if (t.item == item) return set_text(h, t, text, length, reset, g);
  int nf = 1;
  switch (item) {
    case 70: {
      uint16_t idx = lxptget(name, nlen, tab, h->lang_ter, h->lang, &nf);
      if (nf && !reset) return 0;
      if (!lxn::get(idx, LXP_TYPE_TERRITORY, g)) return 0;
      h->iso_ter = idx;
      if (nf) h->flags &= ~LXH_F_KEEP_ISOTER; else h->flags |= LXH_F_KEEP_ISOTER;
      return 1;
    }
    case 71:
      return set_pair(h, h->numchars, 136, 138, LXH_F_KEEP_NUMCHARS, text, length, reset, g);
    case 72:
      return set_pair(h, h->monchars, 146, 148, LXH_F_KEEP_MONCHARS, text, length, reset, g);
    case 73:
      return set_listsep(h, text, length, reset, g);
    case 77: {
      uint16_t idx = lxplget(name, nlen, tab, &nf);
      if (nf) {
        if (!reset) return 0;
        if (nlen == 0) idx = h->lang;  // the handle's own language
      }
      if (!lxn::get(idx, LXP_TYPE_LANGUAGE, g)) return 0;
      h->date_lang = idx;
      const uint8_t *e = lxpboot::entry(lxn::boot(g), idx);
      bool american = lxpboot::ent_namelen(e) == 9 && lstmclo(lxpboot::ent_name(e), "american", 8) == 0;
      if (american)
        h->flags |= LXH_F_DATE_AMERICAN;
      else
        h->flags &= ~LXH_F_DATE_AMERICAN;
      if (nf) h->flags &= ~LXH_F_KEEP_DATELANG; else h->flags |= LXH_F_KEEP_DATELANG;
      return 1;
    }
    case 78: {
      uint16_t idx = lxptget(name, nlen, tab, h->lang_ter, h->lang, &nf);
      if (nf && !reset) return 0;
      return lxptset(idx, h, g);
    }
    case 79: {
      uint16_t idx = lxpcget(name, nlen, tab, h->lang_cs, &nf);
      if (nf && !reset) return 0;
      return lxpcset(idx, h, g);
    }
    case 80: {
      uint16_t options = 0;
      uint16_t idx = lxpsget(name, nlen, tab, h->lang_sort, &options, &nf);
      if (nf && !reset) return 0;
      if (!lxpsset(idx, options, h, g)) return 0;
      if (nf) h->flags &= ~LXH_F_KEEP_SORT; else h->flags |= LXH_F_KEEP_SORT;
      return 1;
    }
    case 81:
      return set_calendar(h, name, nlen, reset, g);
    case 85: {
      uint16_t idx = lxplget(name, nlen, tab, &nf);
      if (nf && !reset) return 0;
      return lxplset(idx, h, g);
    }
    case 108:
      if (length == 0 && reset) {
        h->opts &= ~LXH_O_VISUAL;
      } else if (is_word(text, length, "visual")) {
        h->opts |= LXH_O_VISUAL;
      } else if (is_word(text, length, "logical")) {
        h->opts &= ~LXH_O_VISUAL;
      } else {
        h->opts &= ~LXH_O_VISUAL;
        g->status = 25;
      }
      return 1;
    case 119:
      if ((length == 0 && reset) || is_word(text, length, "binary")) {
        h->opts &= ~LXH_O_ANSI;
        return 1;
      }
      if (is_word(text, length, "ansi")) {
        h->opts |= LXH_O_ANSI;
        return 1;
      }
      g->status = 29;
      return 0;
    case 130:
      if ((length == 0 && reset) || is_word(text, length, "byte")) {
        h->opts &= ~LXH_O_CHAR;
        return 1;
      }
      if (is_word(text, length, "char")) {
        h->opts |= LXH_O_CHAR;
        return 1;
      }
      g->status = 31;
      return 0;
    case 131:
    case 132: {
      uint32_t bit = item == 131 ? LXH_O_CONVEXCP : LXH_O_IMPCONV;
      if ((length == 0 && reset) || is_word(text, length, "true")) {
        h->opts |= bit;
        return 1;
      }
      if (is_word(text, length, "false")) {
        h->opts &= ~bit;
        return 1;
      }
      g->status = item == 131 ? 32u : 33u;
      return 0;
    }
    default:
      return 0;
  }
}
