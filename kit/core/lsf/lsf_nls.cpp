// The NLS operations the argument lists call. The language handle's fields
// are read directly; the character-cursor work replaces the remaining bodies
// with the real calls named in their comments, until then texts are copied
// as single-byte text, one display column per byte.
#include "lsf_int.h"
#include "lxl.h"

#include <cstring>


uint32_t lsfnls_lang_flags(const lxlangid *lang) { return lang ? lang->flags : 0; }

int lsfnls_max_char_bytes(const lsf_env *env) {
  return (env && env->lang && env->lang->mb_len) ? env->lang->mb_len : 1;
}

int lsfnls_utf16_to_utf8(lwem_ctx *errs, const lsf_env *env, const void *text,
                         char **copy, uint64_t *size) {
  // Stands for the print engine's UTF-16 to UTF-8 conversion of the
  // formatting context; replaced by it. Units are in host byte order.
  (void)env;
  auto u = static_cast<const unsigned char *>(text);
  size_t units = lxsulen(text) / 2;
  char *out = static_cast<char *>(lsf_alloc(errs, units * 3 + 1));
  if (!out) return -1;
  size_t o = 0;
  for (size_t i = 0; i < units; i++) {
    uint16_t w;
    std::memcpy(&w, u + 2 * i, 2);
    uint32_t c = w;
    if (w >= 0xD800 && w <= 0xDBFF && i + 1 < units) {
      uint16_t lo;
      std::memcpy(&lo, u + 2 * (i + 1), 2);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        c = 0x10000 + ((uint32_t(w) - 0xD800) << 10) + (lo - 0xDC00);
        i++;
      } else {
        c = 0xFFFD;
      }
    } else if (w >= 0xD800 && w <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out[o++] = char(c);
    } else if (c < 0x800) {
      out[o++] = char(0xC0 | (c >> 6));
      out[o++] = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[o++] = char(0xE0 | (c >> 12));
      out[o++] = char(0x80 | ((c >> 6) & 0x3F));
      out[o++] = char(0x80 | (c & 0x3F));
    } else {
      out[o++] = char(0xF0 | (c >> 18));
      out[o++] = char(0x80 | ((c >> 12) & 0x3F));
      out[o++] = char(0x80 | ((c >> 6) & 0x3F));
      out[o++] = char(0x80 | (c & 0x3F));
    }
  }
  out[o++] = 0;
  *copy = out;
  *size = o;
  return 0;
}

void lsfnls_copy_display(const lsf_env *env, char *dst, size_t room, const char *src,
                         uint64_t cols) {
  // Stands for lxmcpen over the source, lxmopen over the copy, lxoCpDisp with
  // flag 0x10000000, and the closing shift-in and NUL(s) of the character set.
  (void)env;
  size_t n = 0;
  while (n < cols && n + 1 < room && src[n] != 0) {
    dst[n] = src[n];
    n++;
  }
  dst[n] = 0;
}
