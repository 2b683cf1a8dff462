// The NLS operations the argument lists call. The language handle's fields
// are read directly; the display-width copy replaces the remaining stand-in
// with the real call named in its comment, until then every character counts
// one display column.
#include "lsf_int.h"
#include "lxc.h"
#include "lsfp.h"
#include "lxh.h"
#include "lxl.h"
#include "lxm.h"

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

// Stands for lxoCpDisp(out, room, in, -1, cols, 0x10000000, glo): copies
// whole characters up to cols display columns and room bytes, writing the
// shift bytes the output's state needs; replaced by it. Stops at the end of
// the input cursor's text or its NUL. Returns the bytes written and stores
// the columns copied.
size_t lsfnls_cpdisp(lxmcur *out, size_t room, lxmcur *in, uint64_t cols, lxglo *glo,
                     uint64_t *copied) {
  const lxlangid *h = in->langid;
  const bool wide = (h->flags & LXH_F_WIDE) != 0;
  size_t used = 0;
  uint64_t done = 0;
  if (in->single_byte && !in->shift_sensitive && !out->shift_sensitive) {
    // one byte a character and a column
    size_t at = size_t(in->pos - in->start);
    size_t n = at < in->len ? in->len - at : 0;
    if (cols < n) n = size_t(cols);
    if (room < n) n = room;
    if (const void *nul = std::memchr(in->pos, 0, n))
      n = size_t(static_cast<const unsigned char *>(nul) - in->pos);
    std::memcpy(out->pos, in->pos, n);
    out->pos += n;
    in->pos += n;
    if (copied) *copied = n;
    return n;
  }
  for (; done < cols; ++done) {
    const unsigned char *from = in->pos;
    const size_t in_left = size_t(from - in->start) < in->len ? in->len - size_t(from - in->start) : 0;
    if (in_left == 0 || (from[0] == 0 && (!wide || (in_left > 1 && from[1] == 0)))) break;
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
  if (copied) *copied = done;
  return used;
}

// Stands for lxsCntDisp(text, length or -1, 0x10000000, handle, glo): the
// display width of a text, one column a character; replaced by it.
uint64_t lsfnls_cntdisp(const char *text, size_t length, const lxlangid *h, lxglo *glo) {
  if (!h || !glo) {
    size_t n = 0;
    while (n < length && text[n] != 0) ++n;
    return n;
  }
  const bool wide = (h->flags & LXH_F_WIDE) != 0;
  if ((h->flags & LXH_F_SINGLE) && !(h->flags & LXH_F_SHIFT)) return strnlen(text, length);
  lxmcur c;
  lxmcpen(text, length, &c, h, glo);
  uint64_t cols = 0;
  for (;;) {
    size_t used = size_t(c.pos - c.start);
    if (used >= c.len || (c.pos[0] == 0 && (!wide || (c.len - used > 1 && c.pos[1] == 0)))) break;
    if (lxmfwdx(&c, glo) == 0) break;
    ++cols;
  }
  return cols;
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
  lsfnls_cpdisp(&out, room - 2, &in, cols, env->glo, nullptr);
  if (out.shift_sensitive && out.shifted) {
    *out.pos++ = h->shift_in;
    *out.pos = 0;
  } else {
    out.pos[0] = 0;
    if (h->flags & LXH_F_WIDE) out.pos[1] = 0;
  }
}
