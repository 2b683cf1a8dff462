// Installing a language (with its default sort) and a sort in a language
// handle; a special sort takes its key maker and comparator rows of lxsftb.
#include <string.h>

#include "lst.h"
#include "lxhint.h"
#include "lxpboot.h"
#include "lxsf.h"

using namespace nlsobj;

extern "C" int lxplset(uint16_t lang, lxlangid *h, lxglo *g) {
  const uint8_t *b = lxn::boot(g);
  if (!b) return 0;
  if (lang == 0) lang = lxpboot::first(b, LXP_TYPE_LANGUAGE);
  const uint8_t *lo = lxn::get(lang, LXP_TYPE_LANGUAGE, g);
  if (!lo) return 0;
  const lxlobj *t = lxn::table(g);
  if (!(h->flags & LXH_F_KEEP_SORT)) {
    uint16_t s = lxpe2i(lan_sort(lo), t, LXP_TYPE_SORT, nullptr, 0);
    if (!lxpsset(s, 0, h, g)) return 0;
    h->lang_sort = s;
  }
  h->lang = lang;
  h->lang_ter = lxpe2i(lan_ter(lo), t, LXP_TYPE_TERRITORY, nullptr, lang);
  h->lang_cs = lxpe2i(lan_cs(lo), t, LXP_TYPE_CHARSET, nullptr, 0);
  // "american" with its terminating NUL: a longer name does not match
  const char *name = lan_name(lo);
  bool american = strnlen(name, 9) == 8 && lstmclo(name, "american", 8) == 0;
  lxhsetflag(&h->flags, LXH_F_AMERICAN, american);
  if (!(h->flags & LXH_F_KEEP_DATELANG)) {
    h->date_lang = lang;
    lxhsetflag(&h->flags, LXH_F_DATE_AMERICAN, american);
  }
  uint32_t lf = lan_flags(lo);
  lxhsetflag(&h->flags, LXH_F_LANGFLAG4, (lf & LXLAN_F_FLAG4) != 0);
  lxhsetflag(&h->flags, LXH_F_RTL, (lf & LXLAN_F_RTL) != 0);
  return 1;
}

extern "C" int lxpsset(uint16_t sort, uint16_t options, lxlangid *h, lxglo *g) {
  uint16_t sflags = 0;
  if (sort != 0) {
    const uint8_t *so = lxn::get(sort, LXP_TYPE_SORT, g);
    if (!so) return 0;
    sflags = sort_flags(so);
    if (sflags & LXSRT_SPECIALSORT) {
      int krow = -1, crow = -1;
      for (int r = 0; lxsftb[r].number != 0; ++r) {
        // Each number must name a function of its own kind.
        bool cmp = lxsfcmpnum(lxsftb[r].number);
        if (krow < 0 && !cmp && lxsftb[r].number == sort_key_fn(so)) krow = r;
        if (crow < 0 && cmp && lxsftb[r].number == sort_cmp_fn(so)) crow = r;
      }
      if (krow < 0 || crow < 0) return 0;
      h->sort_key_row = static_cast<uint16_t>(krow);
      h->sort_cmp_row = static_cast<uint16_t>(crow);
    }
  }
  h->sort = sort;
  const uint32_t kept = h->opts & LXH_O_MASK & ~LXH_O_SORTOPTS;
  uint32_t opts = options ? (kept | options) : kept;
  h->opts = opts & LXH_O_MASK;
  if (sort != 0 && (sflags & LXSRT_F_LINGUISTIC)) {
    h->flags |= LXH_F_LINGSORT;
    h->flags &= ~LXH_F_BYTEWISE;
    return 1;
  }
  h->flags &= ~LXH_F_LINGSORT;
  const uint8_t *co = h->cs ? lxn::loaded(g, h->cs) : nullptr;
  if (co && cs_single(co)) h->flags |= LXH_F_BYTEWISE;
  return 1;
}
