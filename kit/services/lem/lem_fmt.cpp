// The error manager's formatting calls, in one place: its formatting
// context and the print engine, over the context's language handle and NLS
// environment.
#include "lem_fmt.h"
#include "lemx_int.h"
#include "lsfp.h"

lsf_ctx *lem_fmtini(lem_ctx *lem) {
  lpm_funcs *pkg = lem->cache ? lem->cache->lsf : nullptr;
  return lsfiniu(pkg, lem->priv->lang, lem->priv->glo, 0);
}

void lem_fmtcln(lem_ctx *lem) {
  if (lem->priv->fmt) lsfcln(lem->priv->fmt);
  lem->priv->fmt = nullptr;
}

int lem_fmtp(lem_ctx *lem, char *out, int size, const char *facility, int32_t number) {
  return lsfp(lem->priv->fmt, out, size, "%s-%05d: ", LSFTXTP, facility, LSFSB4, &number,
              LSFEND);
}

int lem_fmtpd(lem_ctx *lem, char *out, int size, const char *format, lsf_arglist *list) {
  if (!list) return -17;
  lsf_handle handle = list;
  return lsfpd(lem->priv->fmt, out, size, format, &handle);
}
