// The date context: beginning and ending one, the NLS hold around a call,
// errors through the context's callback and the language's default date
// format.
//
// Record: ldx_ctx (ldx.h). A context is begun by ldxnbeg, used by one
// thread at a time for any number of calls, and ended by ldxend. Callers:
// the NUMBER text formatter's date mode and the NLS calendar converters;
// the format compiler and the
// renderer use the NLS hold and ldxerr.
//
// The default format. A context with a language handle keeps the handle's
// default date format (NLS item 76) compiled as an input format (ldxsti);
// ldxnbeg compiles it, ldxsen recompiles it for a handle that differs and
// ldxrdf after the handle's parameters changed (flag LXH_F_DATEFMT). An
// empty text raises 600 in all three.
//
// The NLS hold. Every operation that calls NLS brackets its work with
// ldxlxi and ldxlxt. When the context holds no object table, ldxlxi loads the
// shared one into the context's status record (the caller's or the
// context's own) and sets `held`; ldxlxt with ldxlxi's 1 drops it again.
// ldxerr drops a held table before it calls the callback, whichever status
// record holds it, so a callback that jumps away leaks nothing; ldxend drops
// it too. Invariants:
//   - held implies table != NULL, and glo holds a reference to that table;
//   - glo is never NULL after ldxnbeg (a NULL status record means the
//     context's own).
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "ldx.h"
#include "lxh.h"
#include "lxo.h"

namespace {

constexpr int kItemDateFormat = 76;         // NLS text item: the default date format
constexpr size_t kBeginBuffer = LXH_DATEFMT_SIZE;  // ldxnbeg fetches into 60 bytes
constexpr size_t kSwitchBuffer = 80;        // ldxsen and ldxrdf fetch into 80 bytes

void check(const ldx_ctx *ctx) {
  assert(ctx->glo != nullptr);
  assert(!ctx->held || ctx->table != nullptr);
  (void)ctx;
}

// Drops the table ldxlxi loaded, when one is held.
void release(ldx_ctx *ctx) {
  if (!ctx->held) return;
  lxlterm(ctx->glo);
  ctx->table = nullptr;
  ctx->held = 0;
}

// The bytes of a default format text in the handle's character set: text in
// 16-bit units is measured up to its two-byte NUL (AL16UTF16 without its
// trailing blanks, as the compiler takes it), other text up to its NUL.
size_t format_length(ldx_ctx *ctx, const lxlangid *h, const char *text, size_t size) {
  if (h->flags & LXH_F_AL16UTF16) {
    const size_t n = lxsCntExc(text, size, 0, h, ctx->glo);
    if (ctx->glo->status != 0) ldxerr(ctx, LDX_ERR_NLSFAIL);
    return n;
  }
  if (h->flags & LXH_F_WIDE) return lxsulen(text);
  return std::strlen(text);
}

bool format_empty(const lxlangid *h, const char *text) {
  return (h->flags & LXH_F_WIDE) ? lxsulen(text) == 0 : text[0] == '\0';
}

// Fetches the default date format of the context's handle into a buffer of
// `size` bytes and compiles it as an input format into the context's
// default format; 600 when the text is empty. The caller holds the NLS
// hold.
void load_default(ldx_ctx *ctx, size_t size) {
  const lxlangid *h = ctx->lang;
  alignas(uint16_t) char text[kSwitchBuffer + 2] = {};  // room for a two-byte NUL
  assert(h != nullptr && size <= kSwitchBuffer);
  lxhlinfo(h, kItemDateFormat, text, size, ctx->glo);
  if (format_empty(h, text)) ldxerr(ctx, LDX_ERR_NLS);
  const auto len = static_cast<uint8_t>(format_length(ctx, h, text, size));
  std::memset(ctx->deffmt, 0, sizeof ctx->deffmt);
  ldxsti(ctx, text, len, ctx->deffmt, LDX_FMT_SIZE);
}

// The handles are equal byte for byte, apart from the three fields that
// handle construction and parameter changes set: flags, owner and the built
// marker.
bool same_handle(const lxlangid *a, const lxlangid *b) {
  if (a == nullptr || b == nullptr) return a == b;
  struct Skip {
    size_t at, size;
  };
  constexpr Skip skips[] = {{offsetof(lxlangid, owner), sizeof(lxglo *)},
                            {offsetof(lxlangid, flags), sizeof(uint32_t)},
                            {offsetof(lxlangid, built), sizeof(int16_t)}};
  static_assert(offsetof(lxlangid, owner) < offsetof(lxlangid, flags) &&
                offsetof(lxlangid, flags) < offsetof(lxlangid, built));
  const auto *pa = reinterpret_cast<const unsigned char *>(a);
  const auto *pb = reinterpret_cast<const unsigned char *>(b);
  size_t from = 0;
  for (const Skip &s : skips) {
    if (std::memcmp(pa + from, pb + from, s.at - from) != 0) return false;
    from = s.at + s.size;
  }
  return std::memcmp(pa + from, pb + from, sizeof(lxlangid) - from) == 0;
}


}  // namespace

extern "C" {

void ldxnbeg(ldx_ctx *ctx, const lxlangid *lang, ldx_errf callback, void *arg, lxlobj *table,
             lxglo *glo) {
  std::memset(static_cast<void *>(ctx), 0, sizeof *ctx);
  ctx->callback = callback;
  ctx->cbarg = arg;
  ctx->glo = glo ? glo : &ctx->own;
  ctx->table = table;
  ctx->lang = lang;
  // The context's own record starts empty: put it over the caller's table
  // (without a reference of its own) so that NLS calls can use it.
  if (ctx->glo == &ctx->own && table) lxinitc(&ctx->own, table, nullptr, 0);
  check(ctx);
  if (!lang) return;  // no handle: no default format
  const int loaded = ldxlxi(ctx);
  load_default(ctx, kBeginBuffer);
  ldxlxt(ctx, loaded);
}

void ldxerr(ldx_ctx *ctx, int err) {
  if (ctx) {
    release(ctx);
    if (ctx->callback) ctx->callback(ctx, err);
  }
  // The callback must not return; nothing here can continue.
  std::abort();
}

void ldxend(ldx_ctx *ctx) {
  check(ctx);
  release(ctx);
  std::memset(static_cast<void *>(ctx), 0, sizeof *ctx);
}

int ldxlxi(ldx_ctx *ctx) {
  check(ctx);
  if (ctx->table) return 0;
  uint32_t status = 0;
  lxlobj *table = lxlinit(nullptr, 1, &status);
  if (!table) ldxerr(ctx, LDX_ERR_NLS);
  ctx->table = table;
  lxinitc(ctx->glo, table, nullptr, 0);
  ctx->held = 1;
  return 1;
}

void ldxlxt(ldx_ctx *ctx, int loaded) {
  check(ctx);
  if (loaded) release(ctx);
}

void ldxsen(ldx_ctx *ctx, lxlangid *lang) {
  const int loaded = ldxlxi(ctx);
  const bool recompile =
      lang && (!same_handle(ctx->lang, lang) || (lang->flags & LXH_F_DATEFMT));
  // The new handle's text is compiled in the new handle's character set.
  ctx->lang = lang;
  if (!lang) {
    std::memset(ctx->deffmt, 0, sizeof ctx->deffmt);  // no handle: no default format
  } else if (recompile) {
    load_default(ctx, kSwitchBuffer);
    lang->flags &= ~LXH_F_DATEFMT;
  }
  ldxlxt(ctx, loaded);
}

void ldxrdf(ldx_ctx *ctx, lxglo *glo) {
  const int loaded = ldxlxi(ctx);
  if (ctx->lang && (ctx->lang->flags & LXH_F_DATEFMT)) {
    load_default(ctx, kSwitchBuffer);
    // The handle is the caller's; its "parameters changed" mark is cleared
    // once the default format follows them again.
    const_cast<lxlangid *>(ctx->lang)->flags &= ~LXH_F_DATEFMT;
  } else if (glo) {
    glo->status = 0;
  }
  ldxlxt(ctx, loaded);
}

}  // extern "C"
