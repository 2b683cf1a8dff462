// Creating, changing and ending formatting contexts, and the names the
// service's error records use for type codes and flags.
#include <cstring>

#include "lem.h"
#include "lml.h"
#include "lpm.h"
#include "lpmpkg.h"
#include "lsf_ctx.h"
#include "lsf_ctx_int.h"
#include "lsfp.h"
#include "lxc.h"
#include "lxg.h"
#include "lxh.h"
#include "lxl.h"
#include "vzclient.h"

namespace {

constexpr const char kProduct[] = "VODUDED";
constexpr const char kFacility[] = "LSF";
constexpr uint16_t kUtf16Id = 1000;    // the UTF-16 character set
constexpr int kItemCharset = 79;       // handle item: character-set name
constexpr int32_t kUtf16Unit = 2;      // bytes per UTF-16 unit

lml_ctx *product_memory(const lsf_pkgarea *area) {
  return area && area->product ? area->product->m.mem : nullptr;
}

lwem_ctx *product_errors(const lsf_pkgarea *area) {
  return area && area->product ? area->product->m.errs : nullptr;
}

// What a failed creation does with the error stack: with "record errors"
// the failure is recorded and marked, else the stack goes back to its depth
// at entry.
void creation_failed(lwem_ctx *errs, lwem_facility *fac, int flags, int number,
                     unsigned depth) {
  if (flags & LSF_FLAG_RECORD) {
    if (lwemrec(errs, fac, number, nullptr, 0, LWEM_CLASS_RECORDED, LSFEND) == 0) lwemmrk(errs);
    return;
  }
  for (unsigned d = lwemged(errs); d > depth;) {
    lwemdec(errs, -1);
    unsigned now = lwemged(errs);
    if (now == d) break;
    d = now;
  }
}

// Sets the language with the context lock not yet in use.
void set_language(lsf_priv *p, const lxlangid *lang) {
  if (lang)
    p->lang = *lang;
  else
    lxhLangEnv(&p->lang, 0, p->glo);
}

}  // namespace

extern "C" {

lsf_ctx *lsfiniu(lpm_funcs *pkg, const lxlangid *lang, lxglo *glo, int flags) {
  auto area = static_cast<lsf_pkgarea *>(pkg ? pkg->priv : nullptr);
  lwem_ctx *errs = product_errors(area);
  lml_ctx *mem = product_memory(area);
  if (!mem) return nullptr;
  const unsigned depth = lwemged(errs);
  lwem_facility *fac = lwemfaa(errs, nullptr, kProduct, kFacility, LSF_INTERNAL, LSF_FATAL);
  if (!fac) return nullptr;

  auto ctx = static_cast<lsf_ctx *>(lmlcalloc(mem, sizeof(lsf_ctx)));
  auto p = ctx ? static_cast<lsf_priv *>(lmlcalloc(mem, sizeof(lsf_priv))) : nullptr;
  if (!p) {
    if (ctx) lmlfree(mem, ctx);
    lwemfaf(errs, fac);
    return nullptr;
  }
  ctx->pkg = pkg;
  ctx->priv = p;
  p->area = area;
  p->fac = fac;

  auto give_up = [&](int number) -> lsf_ctx * {
    if (p->nls_table) lxlterm(&p->own_glo);
    creation_failed(errs, fac, flags, number, depth);
    lwemfaf(errs, fac);
    lmlfree(mem, p);
    lmlfree(mem, ctx);
    return nullptr;
  };

  if (glo) {
    p->glo = glo;
  } else {
    uint32_t st = 0;
    p->nls_table = lxlinit(nullptr, 1, &st);
    if (!p->nls_table || !lxinitc(&p->own_glo, p->nls_table, nullptr, 1)) {
      if (!p->nls_table) return give_up(LSF_NLSFAIL);
      return give_up(LSF_NLSFAIL);
    }
    p->glo = &p->own_glo;
  }

  p->utf16 = (flags & LSF_FLAG_UTF16) ? 1 : 0;
  p->lock = 0;
  set_language(p, lang);

  if (p->utf16) {
    p->cvt = lxuCvtToCtx(&p->lang, p->glo);
    const lxcsobj *u16 = lxhci2h(kUtf16Id, p->glo);
    static constexpr char kUtf8[] = "UTF8";
    if (!u16 || !lxhlmod(&p->lang, kUtf8, sizeof kUtf8 - 1, kItemCharset, 0, 0, p->glo))
      return give_up(LSF_NLSFAIL);
    p->unit = kUtf16Unit;
    p->csobj = lxdgetobj(p->lang.cs, LX_TCS, p->glo);
    if (!p->csobj) return give_up(LSF_NLSFAIL);
    p->ratio = lxgratio(reinterpret_cast<const lxcsobj *>(p->csobj), u16, p->glo);
  }

  p->lock = (flags & LSF_FLAG_NOLOCK) ? 0 : 1;
  p->thr = sltsini();
  if (!p->thr) return give_up(LSF_THREADS);
  if (sltsmxi(p->thr, &p->mutex) != 0) {
    sltster(p->thr);
    return give_up(LSF_THREADS);
  }
  if (sltstidinit(p->thr, &p->owner) != 0) {
    sltsmxd(p->thr, &p->mutex);
    sltster(p->thr);
    return give_up(LSF_THREADS);
  }
  sltstan(p->thr, &p->owner);
  p->record = (flags & LSF_FLAG_RECORD) ? 1 : 0;
  return ctx;
}

lsf_ctx *lsfxtsi(lpm_funcs *pkg, const lxlangid *lang, int thread_safe, int record) {
  return lsfiniu(pkg, lang, nullptr,
                 (thread_safe == 0 ? LSF_FLAG_NOLOCK : 0) | (record != 0 ? LSF_FLAG_RECORD : 0));
}

lsf_ctx *lsfini(lpm_funcs *pkg, const lxlangid *lang) { return lsfiniu(pkg, lang, nullptr, 0); }

void lsfsli(lsf_ctx *ctx, const lxlangid *lang) {
  if (!ctx || !ctx->priv) return;
  int taken = 0;
  if (lsf_ctx_lock(ctx, &taken) != 0) return;
  set_language(ctx->priv, lang);
  lsf_ctx_unlock(ctx, taken);
}

void lsfcln2(lsf_ctx *ctx, int end_nls) {
  if (!ctx || !ctx->priv) return;
  lsf_priv *p = ctx->priv;
  lwem_ctx *errs = product_errors(p->area);
  lml_ctx *mem = product_memory(p->area);
  lwemfaf(errs, p->fac);
  if (p->thr) {
    sltsmxd(p->thr, &p->mutex);
    sltstiddestroy(p->thr, &p->owner);
    sltster(p->thr);
  }
  if (end_nls && p->nls_table) lxlterm(&p->own_glo);
  if (mem) {
    lmlfree(mem, p);
    lmlfree(mem, ctx);
  }
}

void lsfcln(lsf_ctx *ctx) { lsfcln2(ctx, 1); }

void lsfcal(lsf_ctx *ctx) {
  if (ctx && ctx->priv) sltsmna(ctx->priv->thr, &ctx->priv->mutex);
}

void lsfcrl(lsf_ctx *ctx) {
  if (ctx && ctx->priv) sltsmnr(ctx->priv->thr, &ctx->priv->mutex);
}

int lsfognp(lsf_ctx *ctx, int n, int k, void **value) {
  if (value) *value = nullptr;
  if (!ctx || !ctx->priv || !ctx->priv->record || n <= 0) return 0;
  return lwemgnp(lsf_ctx_errs(ctx), n, k, value);
}

const char *lsfotptext(int code) {
  switch (code) {
    case LSFEND: return "LSFEND";
    case LSFIVALUE: return "LSFIVALUE";
    case LSFFVALUE: return "LSFFVALUE";
    case LSFUB1: return "LSFUB1";
    case LSFUB2: return "LSFUB2";
    case LSFUB4: return "LSFUB4";
    case LSFSB1: return "LSFSB1";
    case LSFSB2: return "LSFSB2";
    case LSFSB4: return "LSFSB4";
    case LSFEB1: return "LSFEB1";
    case LSFEB2: return "LSFEB2";
    case LSFEB4: return "LSFEB4";
    case LSFUWORD: return "LSFUWORD";
    case LSFSWORD: return "LSFSWORD";
    case LSFEWORD: return "LSFEWORD";
    case LSFSIZET: return "LSFSIZET";
    case LSFFLOAT: return "LSF FLOAT";
    case LSFFLTP: return "LSFFLTP";
    case LSFDOUBLE: return "DOUBLE LSFFLT";
    case LSFDBLP: return "LSFDBLP";
    case LSFTXT: return "LSFTXT";
    case LSFDVOID: return "LSFDVOID";
    case LSFTXTP: return "LSFTXTP";
    case LSFBUFLN: return "LSFBUFLN";
    case LSFBIGBUFLN: return "LSFBIGBUFLN";
    case LSFTXTLN: return "LSFTXTLN";
    case LSFTXTDP: return "LSFTXTDP";
    case LSFBIGTXTLN: return "LSFBIGTXTLN";
    case LSFBIGDPTXT: return "LSFBIGDPTXT";
    case LSFFUNCP: return "LSFFUNCP";
    case LSFSBIG_ZUR: return "LSFSBIG_ZUR";
    case LSFUBIG_ZUR: return "LSFUBIG_ZUR";
    case LSFSB8: return "LSFSB8";
    case LSFUB8: return "LSFUB8";
    case LSFORANUM: return "LSFORANUM";
    default: return "unknown type";
  }
}

const char *lsfofgtext(int flag) {
  switch (flag) {
    case LSFP_LEFT: return "-";
    case LSFP_PLUS: return "+";
    case LSFP_SPACE: return " ";
    case LSFP_ZERO: return "0";
    case LSFP_ALT: return "#";
    default: return nullptr;
  }
}

}  // extern "C"
