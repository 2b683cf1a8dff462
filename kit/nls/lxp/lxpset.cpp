// Installing a territory, character set or display character set in a
// language handle, and loading every object a handle names.
#include <string.h>

#include "lst.h"
#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxhtext.h"
#include "lxlget.h"
#include "lxlname.h"
#include "lxp.h"
#include "lxpboot.h"

using namespace nlsobj;

namespace {

// Keeps the caller's status across conversions whose truncation an
// installer does not report.
class StatusKeep {
 public:
  explicit StatusKeep(lxglo *g) : g_(g), st_(g->status) {}
  void restore() { g_->status = st_; }

 private:
  lxglo *g_;
  uint32_t st_;
};

struct TextField {
  unsigned off;      // field of the territory's pool offset
  uint32_t keep;     // handle flag that keeps the current text
  size_t field;      // offset of the text in the handle
  size_t size;
  int par;           // index of its length byte
};

constexpr TextField kMoney[] = {
    {LXTER_CURRENCY, LXH_F_KEEP_CURRENCY, offsetof(lxlangid, currency), LXH_CURRENCY_SIZE,
     LXH_PAR_CURRENCY},
    {LXTER_UNION, LXH_F_KEEP_UNION, offsetof(lxlangid, union_currency), LXH_UNION_SIZE,
     LXH_PAR_UNION},
    {LXTER_DEBIT, LXH_F_KEEP_DEBIT, offsetof(lxlangid, debit), LXH_DEBIT_SIZE, LXH_PAR_DEBIT},
    {LXTER_CREDIT, LXH_F_KEEP_CREDIT, offsetof(lxlangid, credit), LXH_CREDIT_SIZE, LXH_PAR_CREDIT},
};
constexpr TextField kFormats[] = {
    {LXTER_DATEFMT, 0, offsetof(lxlangid, date_fmt), LXH_DATEFMT_SIZE, LXH_PAR_DATEFMT},
    {LXTER_TIMEFMT2, 0, offsetof(lxlangid, time_fmt), LXH_TIMEFMT_SIZE, LXH_PAR_TIMEFMT},
    {LXTER_TSFMT, 0, offsetof(lxlangid, timestamp_fmt), LXH_TSFMT_SIZE, LXH_PAR_TSFMT},
    {LXTER_TIMETZFMT, 0, offsetof(lxlangid, time_tz_fmt), LXH_TIMETZFMT_SIZE, LXH_PAR_TIMETZFMT},
    {LXTER_TSTZFMT, 0, offsetof(lxlangid, timestamp_tz_fmt), LXH_TSTZFMT_SIZE, LXH_PAR_TSTZFMT},
};

// Offsets of the nine texts in the 398-byte block they form.
constexpr size_t kTextSizes[LXH_PAR_COUNT] = {LXH_CURRENCY_SIZE, LXH_UNION_SIZE, LXH_DEBIT_SIZE,
                                              LXH_CREDIT_SIZE,   LXH_DATEFMT_SIZE, LXH_TIMEFMT_SIZE,
                                              LXH_TSFMT_SIZE,    LXH_TIMETZFMT_SIZE, LXH_TSTZFMT_SIZE};
static_assert(offsetof(lxlangid, timestamp_tz_fmt) + LXH_TSTZFMT_SIZE -
                      offsetof(lxlangid, currency) ==
                  LXH_TEXTS_SIZE,
              "the nine texts are contiguous");
static_assert(offsetof(lxlangid, listsep) + 2 - offsetof(lxlangid, numchars) == 10,
              "numeric, monetary characters and list separator are contiguous");

void put_text(lxlangid *h, const TextField &f, const uint8_t *ter, const lxcsobj *cs, lxglo *g) {
  lxhtext::put_territory_text(h, f.field, f.size, f.par, f.off, ter, cs, g);
}

void put_chars(uint8_t *dst, size_t size, const uint8_t *ter, const unsigned *offs, unsigned n,
               const lxcsobj *cs, lxglo *g) {
  uint16_t units[2] = {0, 0};
  for (unsigned k = 0; k < n; ++k) units[k] = pool_unit(ter, kTerPool, offs[k], 1).units[0];
  memset(dst, 0, size);
  if (cs) lxgu2t(dst, cs, static_cast<uint32_t>(size), units, n, 0, g);
}

}  // namespace

extern "C" int lxptset(uint16_t ter, lxlangid *h, lxglo *g) {
  const uint8_t *to = lxn::get(ter, LXP_TYPE_TERRITORY, g);
  if (!to) return 0;
  StatusKeep keep(g);
  const lxcsobj *cs =
      h->cs ? lxn::csobj(lxn::get(h->cs, LXP_TYPE_CHARSET, g)) : nullptr;
  h->ter = ter;
  if (!(h->flags & LXH_F_KEEP_ISOTER)) h->iso_ter = ter;
  static constexpr unsigned kNum[] = {LXTER_DECIMAL, LXTER_GROUP},
                            kMon[] = {LXTER_MONDECIMAL, LXTER_MONGROUP}, kList[] = {LXTER_LISTSEP};
  if (!(h->flags & LXH_F_KEEP_NUMCHARS)) put_chars(h->numchars, 4, to, kNum, 2, cs, g);
  if (!(h->flags & LXH_F_KEEP_MONCHARS)) put_chars(h->monchars, 4, to, kMon, 2, cs, g);
  if (!(h->flags & LXH_F_KEEP_LISTSEP)) put_chars(h->listsep, 2, to, kList, 1, cs, g);
  for (const auto &f : kMoney)
    if (!(h->flags & f.keep)) put_text(h, f, to, cs, g);
  if (!(h->flags & LXH_F_KEEP_FORMATS)) {
    for (const auto &f : kFormats) put_text(h, f, to, cs, g);
    h->flags |= LXH_F_DATEFMT;
  }
  keep.restore();
  return 1;
}

extern "C" int lxpcset(uint16_t cs, lxlangid *h, lxglo *g) {
  if (cs == LXCS_REFUSEDIDX) return 0;
  const uint8_t *co = lxn::get(cs, LXP_TYPE_CHARSET, g);
  if (!co) return 0;
  StatusKeep keep(g);
  auto *newcs = lxn::csobj(co);
  if (cs != h->cs && h->cs != 0) {
    auto *oldcs = lxn::csobj(lxn::get(h->cs, LXP_TYPE_CHARSET, g));
    char work[LXH_TEXTS_SIZE] = {};
    uint8_t lens[LXH_PAR_COUNT];
    const char *texts = h->currency;
    size_t off = 0;
    for (int k = 0; k < LXH_PAR_COUNT; ++k) {
      size_t len = h->par_len[k] < kTextSizes[k] ? h->par_len[k] : kTextSizes[k];
      lens[k] = static_cast<uint8_t>(
          len ? lxgcnv(work + off, newcs, kTextSizes[k], texts + off, oldcs, len, g) : 0);
      off += kTextSizes[k];
    }
    memcpy(h->currency, work, LXH_TEXTS_SIZE);
    memcpy(h->par_len, lens, sizeof lens);
    uint8_t chars[10] = {};
    lxgcnv(chars, newcs, 4, h->numchars, oldcs, 4, g);
    lxgcnv(chars + 4, newcs, 4, h->monchars, oldcs, 4, g);
    lxgcnv(chars + 8, newcs, 2, h->listsep, oldcs, 2, g);
    memcpy(h->numchars, chars, 4);
    memcpy(h->monchars, chars + 4, 4);
    memcpy(h->listsep, chars + 8, 2);
  }
  h->cs = cs;
  uint32_t cf = cs_flags(co);
  if (cs_single(co)) {
    h->mb_len = 1;
    h->flags |= LXH_F_SINGLE;
    if (!(h->flags & LXH_F_LINGSORT)) h->flags |= LXH_F_BYTEWISE;
    lxhsetflag(&h->flags, LXH_F_DISPLAY, (cf & CS_DISPLAY) != 0);
    h->flags |= LXH_F_CSFLAG8 | LXH_F_FIXED;
    h->flags &= ~(LXH_F_SHIFT | LXH_F_WIDE | LXH_F_AL16UTF16);
  } else {
    h->mb_len = cs_max(co);
    h->shift_in = cs_si(co);
    h->shift_out = cs_so(co);
    h->flags &= ~(LXH_F_SINGLE | LXH_F_DISPLAY | LXH_F_BYTEWISE);
    lxhsetflag(&h->flags, LXH_F_SHIFT, (cf & CS_SHIFT) != 0);
    lxhsetflag(&h->flags, LXH_F_CSFLAG8, (cf & CS_FLAG8) != 0);
    lxhsetflag(&h->flags, LXH_F_FIXED, (cf & CS_FIXED) != 0);
    lxhsetflag(&h->flags, LXH_F_WIDE, (cf & CS_WIDE) != 0);
    lxhsetflag(&h->flags, LXH_F_AL16UTF16, cs_id(co) == ID_AL16UTF16);
  }
  h->csoff[LXH_OFF_CLASS] = offsetof(lxcsobj, bclass);
  // A wide set keeps 16-bit case tables where the single-byte values would be.
  h->csoff[LXH_OFF_UPPER] = (cf & CS_WIDE) ? offsetof(lxcsobj, sbu) : offsetof(lxcsobj, upper);
  h->csoff[LXH_OFF_LOWER] = (cf & CS_WIDE) ? offsetof(lxcsobj, sb799) : offsetof(lxcsobj, lower);
  lxhsetflag(&h->flags, LXH_F_ASCII, (cf & CS_ASCII) != 0);
  keep.restore();
  return 1;
}

extern "C" int lxpcidset(uint16_t value, int reset, lxlangid *h, lxglo *g) {
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

extern "C" int lxpdcset(uint16_t cs, lxlangid *h, lxglo *g) {
  const uint8_t *co = lxn::get(cs, LXP_TYPE_CHARSET, g);
  if (!co) return 0;
  h->disp_cs = cs;
  lxhsetflag(&h->flags, LXH_F_DISPLAY, (cs_flags(co) & CS_DISPLAY) != 0);
  h->csoff[LXH_OFF_DISPTAB] = reinterpret_cast<uintptr_t>(cs_table(co, 0));
  h->csoff[LXH_OFF_DISPVAL] = offsetof(lxcsobj, sbu);
  return 1;
}

extern "C" int lxpdload(lxlangid *h, lxglo *g) {
  if (!lxn::get(h->lang, LXP_TYPE_LANGUAGE, g)) return 0;
  if (h->date_lang != h->lang && !lxn::get(h->date_lang, LXP_TYPE_LANGUAGE, g)) return 0;
  if (!lxn::get(h->ter, LXP_TYPE_TERRITORY, g)) return 0;
  if (h->iso_ter != h->ter && !lxn::get(h->iso_ter, LXP_TYPE_TERRITORY, g)) return 0;
  if (!lxn::get(h->cs, LXP_TYPE_CHARSET, g)) return 0;
  if (h->sort && !lxn::get(h->sort, LXP_TYPE_SORT, g)) return 0;
  if (h->cal_cs && h->cal_cs != h->lang_cs && !lxn::get(h->cal_cs, LXP_TYPE_CHARSET, g)) return 0;
  if (h->disp_cs && !lxn::get(h->disp_cs, LXP_TYPE_CHARSET, g)) return 0;
  return 1;
}
