// The NLS operations the argument lists call. The language handle's fields
// are read directly; the display-width copy replaces the remaining stand-in
// with the real call named in its comment, until then every character counts
// one display column.
#include "lsf_int.h"
#include "lxc.h"
#include "lxh.h"
#include "lxl.h"
#include "lxm.h"

#include <cstring>

uint32_t lsfnls_lang_flags(const lxlangid *lang) { return lang ? lang->flags : 0; }

int lsfnls_max_char_bytes(const lsf_env *env) {
  return (env && env->lang && env->lang->mb_len) ? env->lang->mb_len : 1;
}

int lsfnls_utf16_to_utf8(lwem_ctx *errs, const lsf_env *env, const void *text,
                         char **copy, uint64_t *size) {
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

namespace {

// Stands for lxoCpDisp(out, room, in, -1, cols, 0x10000000, glo): copies
// whole characters up to cols display columns and room bytes, writing the
// shift bytes the output's state needs; replaced by it.
void lsfnls_cpdisp(lxmcur *out, size_t room, lxmcur *in, uint64_t cols, lxglo *glo) {
  const lxlangid *h = in->langid;
  const bool wide = (h->flags & LXH_F_WIDE) != 0;
  size_t used = 0;
  for (; cols > 0; --cols) {
    const unsigned char *from = in->pos;
    if (from[0] == 0 && (!wide || from[1] == 0)) break;
    const int32_t state = in->shifted;
    lxmcur next = *in;
    size_t n = lxmfwdx(&next, glo);
    if (n == 0) break;
    // the character without the shift bytes after it
    if (in->shift_sensitive) n = (state && h->mb_len) ? h->mb_len : 1;
    size_t shift = (in->shift_sensitive && state != out->shifted) ? 1 : 0;
    if (n + shift > room - used) break;
    if (shift) {
      *out->pos++ = state ? h->shift_out : h->shift_in;
      out->shifted = state;
    }
    std::memcpy(out->pos, from, n);
    out->pos += n;
    used += n + shift;
    *in = next;
  }
}

}  // namespace

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
  lsfnls_cpdisp(&out, room - 2, &in, cols, env->glo);
  if (out.shift_sensitive && out.shifted) {
    *out.pos++ = h->shift_in;
    *out.pos = 0;
  } else {
    out.pos[0] = 0;
    if (h->flags & LXH_F_WIDE) out.pos[1] = 0;
  }
}
