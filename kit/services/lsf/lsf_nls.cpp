// The NLS operations the argument lists call. The language handle's fields
// are read directly.
#include "lsf_int.h"
#include "lxc.h"
#include "lsfp.h"
#include "lxh.h"
#include "lxl.h"
#include "lxm.h"
#include "lxo.h"

#include <cstring>


// A list built under a UTF-16 formatting context converts its texts as the
// context's print engine does; the copy is the list's own.
static int lsfnls_context_utf16(lwem_ctx *errs, lsf_ctx *ctx, const void *text, char **copy,
                                uint64_t *size) {
  char *text8 = nullptr;
  size_t n = 0;
  if (lsfu16to8(ctx, text, &text8, &n) != 0) return -1;
  char *out = static_cast<char *>(lsf_alloc(errs, n + 1));
  if (out) std::memcpy(out, text8, n + 1);
  lsfu16free(ctx, text8);
  if (!out) return -1;
  *copy = out;
  *size = n + 1;
  return 0;
}

uint32_t lsfnls_lang_flags(const lxlangid *lang) { return lang ? lang->flags : 0; }

int lsfnls_max_char_bytes(const lsf_env *env) {
  return (env && env->lang && env->lang->mb_len) ? env->lang->mb_len : 1;
}

int lsfnls_utf16_to_utf8(lwem_ctx *errs, const lsf_env *env, const void *text,
                         char **copy, uint64_t *size) {
  if (env && env->fmt && env->fmt->priv && env->fmt->priv->utf16 && env->fmt->priv->csobj)
    return lsfnls_context_utf16(errs, env->fmt, text, copy, size);
  // Units are in host byte order; a surrogate pair goes to the AL32UTF8
  // encoder as one packed value, a lone surrogate becomes U+FFFD.
  (void)env;
  auto u = static_cast<const unsigned char *>(text);
  size_t units = lxsulen(text) / 2;
  // Three bytes per unit at most: a pair of two units takes four.
  char *out = static_cast<char *>(lsf_alloc(errs, units * 3 + 1));
  if (!out) return -1;
  size_t o = 0;
  auto unit = [u](size_t i) {
    uint16_t w;
    std::memcpy(&w, u + 2 * i, 2);
    return w;
  };
  for (size_t i = 0; i < units; i++) {
    uint32_t value = unit(i);
    if (value >= 0xD800 && value <= 0xDBFF && i + 1 < units) {
      uint16_t lo = unit(i + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        value = (value << 16) | lo;
        i++;
      }
    }
    o += lxcsu2mAL32UTF8(nullptr, reinterpret_cast<uint8_t *>(out + o), value, 2, nullptr);
  }
  out[o++] = 0;
  *copy = out;
  *size = o;
  return 0;
}

void lsfnls_copy_display(const lsf_env *env, char *dst, size_t room, const char *src,
                         uint64_t cols) {
  if (!env || !env->lang || !env->glo || room < 3) {
    // No language handle: the text is single-byte.
    size_t n = 0;
    while (n < cols && n + 1 < room && src[n] != 0) {
      dst[n] = src[n];
      n++;
    }
    dst[n] = 0;
    return;
  }
  const lxlangid *h = env->lang;
  lxmcur in, out;
  lxmcpen(src, SIZE_MAX, &in, h, env->glo);
  lxmopen(dst, room, &out, h, env->glo, 1);
  // two bytes stay for the closing shift-in or NULs
  lxoCpDisp(&out, room - 2, &in, SIZE_MAX, size_t(cols), LXO_NULTERM, env->glo);
  if (out.shift_sensitive && out.shifted) {
    *out.pos++ = h->shift_in;
    *out.pos = 0;
  } else {
    out.pos[0] = 0;
    if (h->flags & LXH_F_WIDE) out.pos[1] = 0;
  }
}
