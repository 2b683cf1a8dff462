// Language handles from LANGUAGE_TERRITORY.CHARSET texts and from the
// environment, with the process's saved handle.
#include <string.h>

#include "lst.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxlint.h"
#include "lxpboot.h"
#include "slz.h"

using namespace nlsobj;

extern "C" {
lxlangid slxphdl;
int slxphsave = 0;
char slxpenv[1024];
size_t slxpelen = 0;
int slxpnotset = 0;
int slxpvalid = 0;
uint32_t slxperr = 0;
}

namespace {

struct EnvEntry {
  char name[32];
  int item;
};

// The variables read after NLS_LANG, in order, with the items they set.
constexpr EnvEntry lxhenvq[] = {
    {"NLS_CURRENCY", LXI_CURRENCY},
    {"NLS_ISO_CURRENCY", LXI_ISOTERRITORY},
    {"NLS_CALENDAR", LXI_CALENDAR},
    {"NLS_DATE_FORMAT", LXI_DATEFMT},
    {"NLS_DATE_LANGUAGE", LXI_DATELANG},
    {"NLS_NUMERIC_CHARACTERS", LXI_NUMCHARS},
    {"NLS_MONETARY_CHARACTERS", LXI_MONCHARS},
    {"NLS_LIST_SEPARATOR", LXI_LISTSEP},
    {"NLS_DEBIT", LXI_DEBIT},
    {"NLS_CREDIT", LXI_CREDIT},
    {"NLS_SORT", LXI_SORT},
    {"NLS_STORAGE_ORDER", LXI_STORAGE},
    {"NLS_COMP", LXI_COMP},
    {"NLS_LENGTH_SEMANTICS", LXI_LENSEM},
    {"NCHAR_CONV_EXCP", LXI_CONVEXCP},
    {"NCHAR_IMP_CONV", LXI_IMPCONV},
    {"NLS_UNION_CURRENCY", LXI_UNION},
    {"NLS_TIME_FORMAT", LXI_TIMEFMT},
    {"NLS_TIMESTAMP_FORMAT", LXI_TSFMT},
    {"NLS_TIME_TZ_FORMAT", LXI_TIMETZFMT},
    {"NLS_TIMESTAMP_TZ_FORMAT", LXI_TSTZFMT},
    {"NLS_DUAL_CURRENCY", LXI_UNION},
};
static_assert(sizeof lxhenvq / sizeof lxhenvq[0] == 22, "22 parameter variables");

// Reads a variable into buf (at most max bytes, NUL-terminated after them).
// The length, 0 when unset or empty, -1 when it could not be read (too long).
int read_var(const char *name, char *buf, size_t max) {
  sl_status st;
  memset(buf, 0, max + 1);
  int n = slzgetevar(&st, name, strlen(name), buf, max, 0);
  if (n > 0) return n;
  if (n == -1) return 0;
  memset(buf, 0, max + 1);
  return -1;
}

// Reads NLS_LANG once per process (at most max bytes); false when it is
// unset or could not be read. Two readers share the one cache slxpenv: the
// handle builds of lxhenvquery take at most 255 bytes, the length a
// LANGUAGE_TERRITORY.CHARSET text may have, while the strict check of
// lxhLangEnv mode 2 reads up to 1023 so that an over-long value is reported
// as wrong rather than passed over as unreadable. A value too long for a
// read is not cached (a longer read may still take it), and one cached by
// the longer read is used by the builds only when it fits in their 255
// bytes; unset is cached for good (slxpnotset).
bool nls_lang(size_t max) {
  if (slxpnotset) return false;
  if (slxpelen) return true;
  char buf[1024];
  int n = read_var("NLS_LANG", buf, max);
  if (n == 0) {
    slxpnotset = 1;
    return false;
  }
  if (n < 0) return false;
  memcpy(slxpenv, buf, static_cast<size_t>(n) + 1);
  slxpelen = static_cast<size_t>(n) + 1;
  return true;
}

lxlangid *copy_saved(lxlangid *h, lxglo *g) {
  *h = slxphdl;
  h->owner = g;
  if (!lxn::boot_builtin(g) && !lxpdload(h, g)) return nullptr;
  return h;
}

lxlangid *fail(lxlangid *h) {
  memset(h, 0, sizeof *h);
  return nullptr;
}

}  // namespace

extern "C" lxlangid *lxhLaToId(const char *text, size_t length, lxlangid *h, int mode, lxglo *g) {
  g->status = 0;
  memset(h, 0, sizeof *h);
  if (!text) length = 0;
  else if (mode == 0) length = strlen(text);
  const uint8_t *b = lxn::boot(g);
  if (!b) {
    g->status = LXS_NOLOAD;
    return nullptr;
  }
  const lxlobj *tab = lxn::table(g);
  int nf = 1;
  size_t pl = 0;
  const char *p = lxpname(text, length, LXP_ITEM_LANGUAGE, &pl);
  uint16_t lang = lxplget(p, pl, tab, &nf);
  if (mode == 2 && pl && nf) {
    g->status = LXH_ST_BADLANG;
    return fail(h);
  }
  if (!lxplset(lang, h, g)) return fail(h);
  p = lxpname(text, length, LXP_ITEM_CHARSET, &pl);
  uint16_t cs = lxpcget(p, pl, tab, h->lang_cs, &nf);
  if (mode == 2 && pl && nf) {
    g->status = LXH_ST_BADCS;
    return fail(h);
  }
  if (!lxpcset(cs, h, g)) return fail(h);
  p = lxpname(text, length, LXP_ITEM_TERRITORY, &pl);
  uint16_t ter = lxptget(p, pl, tab, h->lang_ter, h->lang, &nf);
  if (mode == 2 && pl && nf) {
    g->status = LXH_ST_BADTER;
    return fail(h);
  }
  if (!lxptset(ter, h, g)) return fail(h);
  h->cal = 0;
  h->owner = g;
  h->opts |= LXH_O_CONVEXCP | LXH_O_IMPCONV;
  h->cal_cs = h->cs;
  h->name_cs = lxpboot::first(b, LXP_TYPE_CHARSET);
  h->built = 1;
  return h;
}

extern "C" lxlangid *lxhenvquery(lxlangid *h, int mode, lxglo *g) {
  if (mode != 1) {
    const char *value = "";
    size_t len = 0;
    if (nls_lang(255) && slxpelen - 1 <= 255) {
      value = slxpenv;
      len = slxpelen - 1;
    } else if (mode == 3 && slxpnotset) {
      return nullptr;
    }
    // A handle whose build failed names no objects: it is not saved.
    if (!lxhLaToId(value, len, h, 1, g)) return nullptr;
  }
  uint32_t st = g->status;
  char buf[256];
  for (const auto &e : lxhenvq) {
    int n = read_var(e.name, buf, 255);
    if (n > 0) lxhlmod(h, buf, static_cast<size_t>(n), e.item, 0, 0, g);
  }
  int n = read_var("NLS_DISPLAY", buf, 255);
  if (n > 0) lxhdisp(buf, static_cast<size_t>(n), h, g);
  g->status = st;
  h->owner = g;
  slxphdl = *h;
  slxphsave = 1;
  return h;
}

extern "C" lxlangid *lxhLangEnv(lxlangid *h, int mode, lxglo *g) {
  lxlangid *r = nullptr;
  lxlglock();
  if (mode == 0) {
    r = slxphsave ? copy_saved(h, g) : lxhenvquery(h, 2, g);
  } else if (mode == 2) {
    g->status = 0;
    if (slxpnotset) {
      r = nullptr;
    } else if (slxpvalid == 2) {
      g->status = slxperr;
    } else if (slxphsave && slxpvalid == 1) {
      r = copy_saved(h, g);
    } else if (!nls_lang(1023)) {
      r = nullptr;
    } else if (!lxhLaToId(slxpenv, slxpelen - 1, h, 2, g)) {
      slxpvalid = 2;
      slxperr = g->status;
    } else {
      slxpvalid = 1;
      r = slxphsave ? copy_saved(h, g) : lxhenvquery(h, 1, g);
    }
  } else if (!slxpnotset) {
    r = slxphsave ? copy_saved(h, g) : lxhenvquery(h, mode == 1 ? 3 : 1, g);
  }
  lxlgunlock();
  if (r) r->built = 1;
  return r;
}

extern "C" int lxhdisp(const char *value, size_t length, lxlangid *h, lxglo *g) {
  if (!h) return 0;
  size_t pl = 0;
  const char *p = lxpname(value, length, LXP_ITEM_LANGUAGE2, &pl);
  size_t n = pl < LXH_DISPNAME_SIZE - 1 ? pl : LXH_DISPNAME_SIZE - 1;
  memcpy(h->disp_name, p, n);
  h->disp_name[n] = 0;
  p = lxpname(value, length, LXP_ITEM_TERRITORY2, &pl);
  if (pl >= 3 && lstmclo(p, "RTL", 3) == 0) h->flags |= LXH_F_RTL;
  p = lxpname(value, length, LXP_ITEM_CHARSET2, &pl);
  int nf = 1;
  uint16_t idx = lxpcget(p, pl, lxn::table(g), h->lang_cs, &nf);
  const uint8_t *co = lxn::get(idx, LXP_TYPE_CHARSET, g);
  if (co && (cs_flags(co) & CS_DISPLAY) && lxpdcset(idx, h, g)) return 1;
  h->disp_cs = 0;
  return 0;
}
