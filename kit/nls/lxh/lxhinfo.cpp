// Reading a language handle's items: texts in the handle's character set
// and numbers.
#include <string.h>

#include "lxg.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxhtext.h"
#include "lxpboot.h"

using namespace lxo;

namespace {

const lxcsobj *csobj(const uint8_t *p) { return reinterpret_cast<const lxcsobj *>(p); }

struct Out {
  char *buf;
  size_t room;  // bytes for the text, terminator excluded
  size_t len = 0;
};

// A UTF-16 pool string of a language or territory object.
void from_pool(Out &o, const lxlangid *h, uint16_t idx, int type, unsigned off, uint32_t min_units,
               bool one_unit, lxglo *g) {
  const uint8_t *ob = lxn::get(idx, type, g);
  if (!ob) return;
  unsigned pool = type == LXP_TYPE_LANGUAGE ? kLanPool : kTerPool;
  PoolText t = one_unit ? pool_unit(ob, pool, off, 1) : pool_text(ob, pool, off);
  if (t.count < min_units) t.count = min_units;
  const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!cs || t.count == 0) return;
  o.len = lxgu2t(o.buf, csobj(cs), static_cast<uint32_t>(o.room), t.units, t.count, 0, g);
}

// A text already in the handle's character set.
void same_cs(Out &o, const lxlangid *h, const char *text, size_t len, lxglo *g) {
  o.len = lxhtext::fit(h, text, len, o.room, g);
  memcpy(o.buf, text, o.len);
}

// A text in the boot block's name character set.
void from_names(Out &o, const lxlangid *h, const char *text, size_t len, lxglo *g) {
  if (h->name_cs == h->cs) {
    same_cs(o, h, text, len, g);
    return;
  }
  const uint8_t *ncs = lxn::get(h->name_cs, LXP_TYPE_CHARSET, g);
  const uint8_t *hcs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!ncs || !hcs) return;
  if (cs_single(ncs) && cs_single(hcs)) {
    size_t n = len < o.room ? len : o.room;
    lxhmcnv(o.buf, text, n, csobj(hcs), csobj(ncs), g);
    o.len = n;
  } else {
    o.len = lxgcnv(o.buf, csobj(hcs), o.room, text, csobj(ncs), len, g);
  }
}

void boot_name(Out &o, const lxlangid *h, uint16_t idx, lxglo *g) {
  const uint8_t *b = lxn::boot(g);
  if (!b || idx == 0 || idx >= lxpboot::count(b)) return;
  const uint8_t *e = lxpboot::entry(b, idx);
  const char *name = lxpboot::ent_name(e);
  from_names(o, h, name, strnlen(name, lxpboot::ent_namelen(e) ? lxpboot::ent_namelen(e) - 1u : 0u),
             g);
}

void word(Out &o, const lxlangid *h, const char *w, lxglo *g) { from_names(o, h, w, strlen(w), g); }

// Width of one numeric or monetary character in the handle.
size_t char_width(const lxlangid *h) {
  return ((h->flags & LXH_F_FIXED) && !(h->flags & LXH_F_SINGLE)) ? 2 : 1;
}

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
  Out o{buf, size - nul};
  size_t cw = char_width(h);
  const uint16_t dl = h->date_lang, ter = h->ter;
  switch (item) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6:
      from_pool(o, h, dl, LXP_TYPE_LANGUAGE, 128 + 2u * static_cast<unsigned>(item), 0, false, g);
      break;
    case 7: case 8: case 9: case 10: case 11: case 12: case 13:
      from_pool(o, h, dl, LXP_TYPE_LANGUAGE, 114 + 2u * static_cast<unsigned>(item - 7), 0, false, g);
      break;
    case 38: case 39:
      from_pool(o, h, h->lang, LXP_TYPE_LANGUAGE, 190 + 2u * static_cast<unsigned>(item - 38), 0,
                false, g);
      break;
    case 40: case 41: case 42: case 43:
      from_pool(o, h, dl, LXP_TYPE_LANGUAGE, 194 + 2u * static_cast<unsigned>(item - 40), 0, false, g);
      break;
    case 44: case 45:
      from_pool(o, h, ter, LXP_TYPE_TERRITORY, 136 + 2u * static_cast<unsigned>(item - 44), 0, true, g);
      break;
    case 46: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 140, 0, false, g); break;
    case 47: case 48:
      from_pool(o, h, ter, LXP_TYPE_TERRITORY, 146 + 2u * static_cast<unsigned>(item - 47), 0, true, g);
      break;
    case 49: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 150, 0, false, g); break;
    case 50: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 152, 0, true, g); break;
    case 51: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 154, 0, false, g); break;
    case 52: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 156, 0, false, g); break;
    case 53: from_pool(o, h, h->iso_ter, LXP_TYPE_TERRITORY, 142, 3, false, g); break;
    case 54: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 144, 0, false, g); break;
    case 55: from_pool(o, h, h->iso_ter, LXP_TYPE_TERRITORY, 158, 0, false, g); break;
    case 56: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 162, 0, false, g); break;
    case 57: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 164, 0, false, g); break;
    case 58: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 166, 0, false, g); break;
    case 59: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 168, 0, false, g); break;
    case 60: case 85: boot_name(o, h, h->lang, g); break;
    case 61: from_pool(o, h, h->lang, LXP_TYPE_LANGUAGE, 112, 0, false, g); break;
    case 62: boot_name(o, h, h->lang_cs, g); break;
    case 63: boot_name(o, h, h->lang_ter, g); break;
    case 64: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 134, 0, false, g); break;
    case 65: same_cs(o, h, reinterpret_cast<const char *>(h->numchars), cw, g); break;
    case 66: same_cs(o, h, reinterpret_cast<const char *>(h->numchars) + cw, cw, g); break;
    case 67: same_cs(o, h, reinterpret_cast<const char *>(h->monchars), cw, g); break;
    case 68: same_cs(o, h, reinterpret_cast<const char *>(h->monchars) + cw, cw, g); break;
    case 69: same_cs(o, h, h->currency, h->par_len[LXH_PAR_CURRENCY], g); break;
    case 121: same_cs(o, h, h->union_currency, h->par_len[LXH_PAR_UNION], g); break;
    case 70: boot_name(o, h, h->iso_ter, g); break;
    case 71: same_cs(o, h, reinterpret_cast<const char *>(h->numchars), 2 * cw, g); break;
    case 72: same_cs(o, h, reinterpret_cast<const char *>(h->monchars), 2 * cw, g); break;
    case 73: same_cs(o, h, reinterpret_cast<const char *>(h->listsep), cw, g); break;
    case 74: same_cs(o, h, h->debit, h->par_len[LXH_PAR_DEBIT], g); break;
    case 75: same_cs(o, h, h->credit, h->par_len[LXH_PAR_CREDIT], g); break;
    case 76: same_cs(o, h, h->date_fmt, h->par_len[LXH_PAR_DATEFMT], g); break;
    case 77: boot_name(o, h, dl, g); break;
    case 78: boot_name(o, h, ter, g); break;
    case 79: boot_name(o, h, h->cs, g); break;
    case 80: {
      if (h->sort)
        boot_name(o, h, h->sort, g);
      else
        word(o, h, "BINARY", g);
      const char *sfx = (h->opts & LXH_O_AI) ? "_AI" : (h->opts & LXH_O_CI) ? "_CI" : nullptr;
      if (sfx && o.len + 3 * nul <= o.room) {
        Out s{o.buf + o.len, o.room - o.len};
        word(s, h, sfx, g);
        o.len += s.len;
      }
      break;
    }
    case 81:
      // Calendars other than the Gregorian one come with the calendar service.
      if (h->cal == 0) word(o, h, "GREGORIAN", g);
      break;
    case 82:
      same_cs(o, h, h->disp_name, strnlen(h->disp_name, sizeof h->disp_name), g);
      break;
    case 83: word(o, h, (h->flags & LXH_F_RTL) ? "RTL" : "LTR", g); break;
    case 84:
      if (h->disp_cs) boot_name(o, h, h->disp_cs, g);
      break;
    case 110: case 111: case 112: {
      const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
      if (!cs) break;
      uint32_t v = cs_word(cs, 128 + 4u * static_cast<unsigned>(item - 110));
      unsigned n;
      if (h->flags & LXH_F_WIDE)
        n = v > 0xFFFF ? 4 : 2;
      else
        n = v < 0x100 ? 1 : v < 0x10000 ? 2 : v < 0x1000000 ? 3 : 4;
      if (n > o.room) break;
      for (unsigned k = 0; k < n; ++k) o.buf[k] = static_cast<char>(v >> (8 * (n - 1 - k)));
      o.len = n;
      break;
    }
    case 119: word(o, h, (h->opts & LXH_O_ANSI) ? "ANSI" : "BINARY", g); break;
    case 120: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 132, 0, false, g); break;
    case 122: case 123: case 124: case 125:
      from_pool(o, h, ter, LXP_TYPE_TERRITORY, 170 + 2u * static_cast<unsigned>(item - 122), 0,
                false, g);
      break;
    case 126: same_cs(o, h, h->time_fmt, h->par_len[LXH_PAR_TIMEFMT], g); break;
    case 127: same_cs(o, h, h->timestamp_fmt, h->par_len[LXH_PAR_TSFMT], g); break;
    case 128: same_cs(o, h, h->time_tz_fmt, h->par_len[LXH_PAR_TIMETZFMT], g); break;
    case 129: same_cs(o, h, h->timestamp_tz_fmt, h->par_len[LXH_PAR_TSTZFMT], g); break;
    case 130: word(o, h, (h->opts & LXH_O_CHAR) ? "CHAR" : "BYTE", g); break;
    case 131: word(o, h, (h->opts & LXH_O_CONVEXCP) ? "TRUE" : "FALSE", g); break;
    case 132: word(o, h, (h->opts & LXH_O_IMPCONV) ? "TRUE" : "FALSE", g); break;
    case 139: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 180, 0, false, g); break;
    case 140: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 178, 0, false, g); break;
    case 141: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 184, 0, false, g); break;
    case 142: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 182, 0, false, g); break;
    case 143: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 188, 0, false, g); break;
    case 144: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 186, 0, false, g); break;
    case 151: from_pool(o, h, ter, LXP_TYPE_TERRITORY, 194, 0, false, g); break;
    default:
      if (item >= 14 && item <= 25)
        from_pool(o, h, dl, LXP_TYPE_LANGUAGE, 166 + 2u * static_cast<unsigned>(item - 14), 0,
                  false, g);
      else if (item >= 26 && item <= 37)
        from_pool(o, h, dl, LXP_TYPE_LANGUAGE, 142 + 2u * static_cast<unsigned>(item - 26), 0,
                  false, g);
      break;
  }
  if (o.len > o.room) o.len = o.room;
  memset(buf + o.len, 0, nul);
  lxn::status(g) = 0;
  return buf;
}

namespace {

int32_t u16(const uint8_t *o, unsigned off) { return o ? rd16(o + off) : -1; }

// Bytes a length in characters takes in the handle's character set.
int32_t to_bytes(const lxlangid *h, int item, int32_t len, const uint8_t *dl, const uint8_t *cs) {
  int32_t bytes = h->mb_len;
  if (h->flags & LXH_F_SHIFT) return len * (bytes + 2) / 2;
  if (bytes <= 1) return len;
  if (bytes == 2) return (item == 116 || item == 118) ? len * 2 : len * 3 / 2;
  bool half = cs && !(cs_flags(cs) & (0x4000u | 0x8000u)) && cs_id(cs) != 872;
  if (half) return len * bytes / 2;
  int32_t v96 = dl ? rd16(dl + 96) : 0;
  if (v96 >= 33 && v96 <= 36) return len * bytes / 2;
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
    return (rd16(s + 102) & bit) ? rd16(s + off) : 1;
  };
  switch (item) {
    case 86: return u16(ter(), 110);
    case 87: return u16(ter(), 112);
    case 88: return u16(ter(), 98);
    case 89: return u16(ter(), 114);
    case 90: return u16(ter(), 116);
    case 91: return u16(dl(), 300);
    case 92: return u16(dl(), 302);
    // Calendars other than the Gregorian one come with the calendar service;
    // until then the date language's widths serve.
    case 93: return u16(dl(), 304);
    case 94: return u16(dl(), 308);
    case 95: return u16(dl(), 306);
    case 96: return u16(dl(), 310);
    case 97: case 98: case 99: case 100: case 101:
      return u16(ter(), 100 + 2u * static_cast<unsigned>(item - 97));
    case 102: {
      const uint8_t *t = ter();
      return t ? static_cast<int32_t>(rd32(t + 92)) : -1;
    }
    case 103: return u16(lxn::get(h->cs, LXP_TYPE_CHARSET, g), 94);
    case 104: return sortflag(96, 0x4);
    case 105: return sortflag(98, 0x8);
    case 106: return sortflag(94, 0x1);
    case 107: return sortflag(100, 0x10);
    case 108: return static_cast<int32_t>(h->opts & LXH_O_VISUAL);
    case 113: return u16(lxn::get(h->lang, LXP_TYPE_LANGUAGE, g), 96);
    case 114: return u16(ter(), 96);
    case 115: case 116: case 117: case 118: {
      static constexpr unsigned kOff[] = {304, 308, 306, 310};
      const uint8_t *d = dl();
      if (!d) return -1;
      int32_t len = rd16(d + kOff[item - 115]);
      return to_bytes(h, item, len, d, lxn::get(h->cs, LXP_TYPE_CHARSET, g));
    }
    case 119: return static_cast<int32_t>(h->opts & LXH_O_ANSI);
    case 130: return static_cast<int32_t>(h->opts & LXH_O_CHAR);
    case 131: return static_cast<int32_t>(h->opts & LXH_O_CONVEXCP);
    case 132: return static_cast<int32_t>(h->opts & LXH_O_IMPCONV);
    default:
      lxn::status(g) = 9;
      return -1;
  }
}

extern "C" int lxhnmod(lxlangid *h, uint32_t value32, int item, int reset, lxglo *g) {
  if (!h) return 0;
  uint16_t value = static_cast<uint16_t>(value32);
  switch (item) {
    case 79: {
      if (value == ID_UCS || value == ID_AL16UTF16LE) {
        h->cs = value;
        return 1;
      }
      if (h->cs == ID_UCS || h->cs == ID_AL16UTF16LE) {
        const uint8_t *b = lxn::boot(g);
        if (!b || h->cs >= lxpboot::count(b)) {
          lxn::status(g) = 26;
          return 0;
        }
      }
      int nf = 1;
      uint16_t idx = lxpe2i(value, lxn::table(g), LXP_TYPE_CHARSET, &nf, 0);
      if (nf) {
        if (!reset) return 0;
        idx = h->lang_cs;
      }
      return lxpcset(idx, h, g) ? 1 : 0;
    }
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
