// The date library's UTF-16 support: whole-text conversions between UTF-16
// (AL16UTF16) and UTF-8, and the UTF-8 twin of an AL16UTF16 language handle
// under which the renderer works (ldxlid16to8).
//
// The conversions take the charset objects "al16utf16" and "utf8" from the
// NLS data and convert in one call; they report -1 when either object is
// not available. The twin carries the handle's date language, territory,
// calendar and date format; building it raises 1890 when a name does not fit
// or any step fails, so a twin is never made from a cut or unterminated
// name. Callers: the date renderer, and through it the NUMBER text
// formatter's date mode.
#include <cstring>

#include "ldx.h"
#include "lxg.h"
#include "lxh.h"
#include "lxo.h"

namespace {

constexpr char kUtf16Name[] = "al16utf16";
constexpr char kUtf8Name[] = "utf8";
constexpr char kUtf8Suffix[] = ".utf8";

// NLS text items of the twin.
constexpr int kItemDateFormat = 76;
constexpr int kItemDateLanguage = 77;
constexpr int kItemTerritory = 78;
constexpr int kItemCalendar = 81;

constexpr size_t kNameRoom = 100;     // LANGUAGE_TERRITORY in UTF-16, terminated
constexpr size_t kItemRoom = 256;     // one fetched item, UTF-16, terminated
constexpr size_t kUnit = 2;           // bytes of a UTF-16 unit (and of its NUL)

struct Sets {
  const lxcsobj *utf16;
  const lxcsobj *utf8;
};

bool load_sets(lxglo *glo, Sets *s) {
  s->utf16 = lxhchtoid(kUtf16Name, sizeof kUtf16Name - 1, glo);
  s->utf8 = lxhchtoid(kUtf8Name, sizeof kUtf8Name - 1, glo);
  return s->utf16 && s->utf8;
}

// src[0..srclen) from one set into the other; -1 without the sets.
int convert(ldx_ctx *ctx, const void *src, size_t srclen, void *dst, size_t dstlen, bool to8) {
  const int loaded = ldxlxi(ctx);
  Sets s;
  int n = -1;
  if (load_sets(ctx->glo, &s)) {
    const lxcsobj *to = to8 ? s.utf8 : s.utf16, *from = to8 ? s.utf16 : s.utf8;
    n = int(lxgcnv(dst, to, dstlen, src, from, srclen, ctx->glo));
    auto *d = static_cast<uint8_t *>(dst);
    const size_t nul = to8 ? 1 : kUnit;
    if (dstlen - size_t(n) >= nul) std::memset(d + n, 0, nul);
  }
  ldxlxt(ctx, loaded);
  return n;
}

// Fetches a text item of the AL16UTF16 handle h into buf (kItemRoom bytes)
// and converts it to UTF-8 into out (outlen bytes, terminated); its UTF-8
// length. Raises 1890 when the item may have been cut or does not convert
// whole.
size_t item_utf8(ldx_ctx *ctx, const lxlangid *h, int item, char *out, size_t outlen) {
  char buf[kItemRoom];
  lxhlinfo(h, item, buf, sizeof buf, ctx->glo);
  const size_t n = lxsulen(buf);
  if (n + kUnit >= sizeof buf) ldxerr(ctx, LDX_ERR_NLSFAIL);
  const int m = ldxutf16to8(ctx, buf, n, out, outlen);
  if (m < 0 || ctx->glo->nbytes != n || size_t(m) >= outlen) ldxerr(ctx, LDX_ERR_NLSFAIL);
  return size_t(m);
}

}  // namespace

extern "C" {

int ldxutf16to8(ldx_ctx *ctx, const void *src, size_t srclen, void *dst, size_t dstlen) {
  return convert(ctx, src, srclen, dst, dstlen, true);
}

int ldxutf8to16(ldx_ctx *ctx, const void *src, size_t srclen, void *dst, size_t dstlen) {
  return convert(ctx, src, srclen, dst, dstlen, false);
}

lxlangid *ldxlid16to8(ldx_ctx *ctx, lxlangid *storage) {
  const int loaded = ldxlxi(ctx);
  const lxlangid *h = ctx->lang;
  lxglo *glo = ctx->glo;
  if (!h) ldxerr(ctx, LDX_ERR_NLSFAIL);
  // LANGUAGE_TERRITORY in UTF-16: each name whole, joined by "_".
  char lang16[kItemRoom], ter16[kItemRoom];
  lxhlinfo(h, kItemDateLanguage, lang16, sizeof lang16, glo);
  lxhlinfo(h, kItemTerritory, ter16, sizeof ter16, glo);
  const size_t la = lxsulen(lang16), lt = lxsulen(ter16);
  if (la + kUnit + lt + kUnit > kNameRoom) ldxerr(ctx, LDX_ERR_NLSFAIL);
  char joined[kNameRoom];
  std::memcpy(joined, lang16, la);
  joined[la] = 0;
  joined[la + 1] = '_';
  std::memcpy(joined + la + kUnit, ter16, lt);
  const size_t jlen = la + kUnit + lt;
  // In UTF-8, with ".utf8" behind it.
  char name[kNameRoom + sizeof kUtf8Suffix];
  const int n = ldxutf16to8(ctx, joined, jlen, name, kNameRoom);
  if (n < 0 || glo->nbytes != jlen || size_t(n) >= kNameRoom) ldxerr(ctx, LDX_ERR_NLSFAIL);
  std::memcpy(name + n, kUtf8Suffix, sizeof kUtf8Suffix);
  if (!lxhLaToId(name, 0, storage, 0, glo)) ldxerr(ctx, LDX_ERR_NLSFAIL);
  // The calendar and the date format, in UTF-8.
  char text[kItemRoom];
  size_t m = item_utf8(ctx, h, kItemCalendar, text, sizeof text);
  if (!lxhlmod(storage, text, m, kItemCalendar, 0, 1, glo)) ldxerr(ctx, LDX_ERR_NLSFAIL);
  m = item_utf8(ctx, h, kItemDateFormat, text, sizeof text);
  if (!lxhlmod(storage, text, m, kItemDateFormat, 0, 1, glo)) ldxerr(ctx, LDX_ERR_NLSFAIL);
  ldxsen(ctx, storage);
  ldxlxt(ctx, loaded);
  return storage;
}

}  // extern "C"
