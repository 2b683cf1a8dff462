// The print engine's converters (integers, texts, hexadecimal dumps,
// numbers, pointers, padding) and its UTF-16 conversions.
#include <cassert>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "lcv.h"
#include "lem.h"
#include "lnx.h"
#include "lsf_ctx_int.h"
#include "lsf_int.h"
#include "lsfp.h"
#include "lsfp_int.h"
#include "lst.h"
#include "lxc.h"
#include "lxg.h"
#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "vzclient.h"

namespace {

constexpr uint32_t kCopyFlags = 0x40000000u;
constexpr int kDefaultPrecision = 6;
constexpr uint32_t kLowerFlags = 0x10000010u;

// What the number converter reads of a valid finite NUMBER (len 0: leading
// length byte): its sign, the decimal exponent of its leading digit and its
// count of significant decimal digits (0 for zero).
struct NumShape {
  bool negative;
  int exp10;
  int ndigits;
};
constexpr int kNumExpBias = 193;      // exponent byte of a positive NUMBER: 193 + e
constexpr uint8_t kNumNegTerm = 102;  // ends a negative NUMBER of fewer than 20 digits
constexpr size_t kDescMax = UINT8_MAX;  // positions, widths and counts of the descriptor

NumShape shape_of(const uint8_t *num, size_t len) {
  if (len == 0) {
    len = num[0];
    ++num;
  }
  NumShape s{};
  if (len <= 1) return s;  // zero
  s.negative = !(num[0] & 0x80);
  size_t n = len - 1;
  if (s.negative && num[len - 1] == kNumNegTerm) --n;
  auto digit = [&](size_t i) { return s.negative ? 101 - num[1 + i] : num[1 + i] - 1; };
  const int e = int(uint8_t(s.negative ? ~num[0] : num[0])) - kNumExpBias;
  const int first = digit(0), last = digit(n - 1);
  s.exp10 = 2 * e + (first >= 10 ? 1 : 0);
  s.ndigits = 2 * int(n) - (first < 10 ? 1 : 0) - (last % 10 == 0 ? 1 : 0);
  return s;
}

// Writing single-byte characters at the output cursor within the room.
class Writer {
 public:
  Writer(lsf_ctx *ctx, lxmcur *out, size_t room, lxglo *glo)
      : ctx_(ctx), out_(out), room_(room), glo_(glo), start_(out->pos) {
    codes_ = static_cast<const char *>(ctx->priv->codes ? ctx->priv->codes : lsfpcodes);
  }
  size_t written() const { return size_t(out_->pos - start_); }
  size_t left() const { return room_ == SIZE_MAX ? SIZE_MAX : room_ - written(); }
  char code(int idx) const { return codes_[idx]; }
  bool put(char c) {
    if (left() < 1 + shift()) return false;
    if (out_->shift_sensitive)
      lxoWriChar(out_, uint8_t(c), kCopyFlags, glo_);
    else
      *out_->pos++ = uint8_t(c);
    return true;
  }
  bool put(const char *s, size_t n) {
    if (!out_->shift_sensitive) {
      if (left() < n) {
        // what fits, as a character at a time would have written it
        std::memcpy(out_->pos, s, left());
        out_->pos += left();
        return false;
      }
      std::memcpy(out_->pos, s, n);
      out_->pos += n;
      return true;
    }
    for (size_t i = 0; i < n; ++i)
      if (!put(s[i])) return false;
    return true;
  }
  // count fill characters; false when they do not all fit
  bool pad(int fill, size_t count) {
    if (count == 0) return true;
    if (left() < count + shift()) return false;
    size_t w = 0;
    lsfpcpad(ctx_, out_, left(), fill, count, glo_, &w);
    return true;
  }

 private:
  size_t shift() const { return (out_->shift_sensitive && out_->shifted) ? 1 : 0; }
  lsf_ctx *ctx_;
  lxmcur *out_;
  size_t room_;
  lxglo *glo_;
  unsigned char *start_;
  const char *codes_;
};

// Converts ASCII digits and letters to the handle's character set when it is
// not ASCII-based (the code table was converted then).
void to_charset(lsf_ctx *ctx, char *text, size_t n, lxglo *glo) {
  if (!ctx->priv->codes || ctx->priv->codes == lsfpcodes) return;
  lxlangid ascii{};
  const lxlangid *h = lsf_ctx_lang(ctx->priv);
  if (!lxhLaToId("us7ascii", 0, &ascii, 0, glo)) return;
  char conv[2 * LCV_MAXDIGITS];
  size_t m = lxgcnv(conv, reinterpret_cast<const lxcsobj *>(lxdgetobj(h->cs, LX_TCS, glo)),
                    sizeof conv, text,
                    reinterpret_cast<const lxcsobj *>(lxdgetobj(ascii.cs, LX_TCS, glo)), n, glo);
  if (m == n) std::memcpy(text, conv, n);
}

int full(lsf_ctx *ctx, const char *routine, size_t count) {
  lsfp_record(ctx, LSF_BUFFULL, 0, routine, uint64_t(count));
  return LSFP_EFULL;
}

size_t field(int32_t v) { return v < 0 ? 0 : size_t(v); }

}  // namespace

extern "C" {

int lsfpcpad(lsf_ctx *, lxmcur *out, size_t room, int fill, size_t count, lxglo *,
             size_t *written) {
  size_t used = 0;
  if (out->shift_sensitive && out->shifted && room > 0) {
    *out->pos++ = out->langid->shift_in;
    out->shifted = 0;
    used = 1;
  }
  size_t n = count < room - used ? count : room - used;
  std::memset(out->pos, fill, n);
  out->pos += n;
  *written = used + n;
  return 0;
}

int lsfpcbg(lsf_ctx *ctx, lxmcur *out, size_t room, uint64_t value, uint64_t u64, int64_t s64,
            int mode, const lsfp_conv *conv, int negative, lxglo *glo, size_t *written) {
  Writer w(ctx, out, room, glo);
  const int base = conv->base ? conv->base : 10;
  char digits[LCV_MAXDIGITS + 2];
  int n;
  // mode 1: the unsigned value; mode 2: the magnitude of the signed one
  // (its sign comes below), the most negative value included
  uint64_t v = mode == 0 ? value : mode == 1 ? u64 : (s64 < 0 ? 0 - uint64_t(s64) : uint64_t(s64));
  n = lcvbg2b(digits, v, base);
  const bool upper = (conv->flags & LSFP_UPPER) != 0;
  if (upper && base == 16) lstmup(digits, digits, size_t(n));
  to_charset(ctx, digits, size_t(n), glo);
  const uint16_t f = conv->flags;
  const size_t nd = size_t(n), prec = field(conv->precision);
  const size_t digit_field = nd > prec ? nd : prec;
  const size_t sign = (negative || (f & (LSFP_PLUS | LSFP_SPACE))) ? 1 : 0;
  const size_t prefix = (f & LSFP_ALT) ? (base == 8 ? 1 : base == 16 ? 2 : 0) : 0;
  const size_t used = digit_field + sign + prefix, width = field(conv->width);
  const size_t padding = width > used ? width - used : 0;
  bool ok = true;
  if (!(f & (LSFP_LEFT | LSFP_ZERO))) ok = w.pad(w.code(LSFPC_BLANK), padding);
  if (ok && sign)
    ok = w.put(negative ? w.code(LSFPC_MINUS)
                        : (f & LSFP_PLUS) ? w.code(LSFPC_PLUS) : w.code(LSFPC_BLANK));
  if (ok && prefix) {
    ok = w.put(w.code(LSFPC_ZERO));
    if (ok && prefix == 2) {
      char x = w.code(LSFPC_X);
      ok = w.put(upper ? char(lsfp_upper(lsf_ctx_lang(ctx->priv), glo, uint8_t(x))) : x);
    }
  }
  if (ok && (f & LSFP_ZERO)) ok = w.pad(w.code(LSFPC_ZERO), padding);
  if (ok && nd < prec) ok = w.pad(w.code(LSFPC_ZERO), prec - nd);
  if (ok) ok = w.put(digits, nd);
  if (ok && (f & LSFP_LEFT)) ok = w.pad(w.code(LSFPC_BLANK), padding);
  *written = w.written();
  return ok ? 0 : full(ctx, "lsfpcbg()", *written);
}

}  // extern "C"

namespace {

// A pointer as "0x" and hexadecimal digits under the conversion's width and flags.
int pointer(lsf_ctx *ctx, lxmcur *out, size_t room, uintptr_t value, const lsfp_conv *conv,
            lxglo *glo, size_t *written) {
  lsfp_conv s = *conv;
  s.flags = uint16_t(s.flags | LSFP_ALT);
  s.base = 16;
  return lsfpcbg(ctx, out, room, uint64_t(value), 0, 0, 0, &s, 0, glo, written);
}

}  // namespace

extern "C" {

int slsfpdvoidp(lsf_ctx *ctx, lxmcur *out, size_t room, const void *ptr, const lsfp_conv *conv,
                lxglo *glo, size_t *written) {
  return pointer(ctx, out, room, reinterpret_cast<uintptr_t>(ptr), conv, glo, written);
}

int slsfpfuncp(lsf_ctx *ctx, lxmcur *out, size_t room, lsf_func fn, const lsfp_conv *conv,
               lxglo *glo, size_t *written) {
  return pointer(ctx, out, room, reinterpret_cast<uintptr_t>(fn), conv, glo, written);
}

int lsfpcst(lsf_ctx *ctx, lxmcur *out, size_t room, const char *text, int64_t bytes,
            int64_t columns, const lsfp_conv *conv, lxglo *glo, size_t *written) {
  Writer w(ctx, out, room, glo);
  *written = 0;
  if (!text) {
    uint64_t zero = 0;
    lsforec(ctx, LSF_INTERNAL, LSFP_SITE_NULL, nullptr, LSFTXTP, "In lsfpcst(), failure occurs.",
            LSFTXTP, "NULL pointer given.", LSFTXTP, "Number of bytes written: ", LSFUBIG_ZUR,
            &zero, LSFEND);
    return LSFP_ENULL;
  }
  const lxlangid *h = lsf_ctx_lang(ctx->priv);
  const size_t length = bytes >= 0 ? size_t(bytes) : SIZE_MAX;
  uint64_t d = columns >= 0 ? uint64_t(columns) : lxsCntDisp(text, length, LXO_NULTERM, h, glo);
  if (conv->precision >= 0 && uint64_t(conv->precision) < d) d = uint64_t(conv->precision);
  const uint64_t width = field(conv->width);
  const size_t padding = d <= width ? size_t(width - d) : 0;
  const uint16_t f = conv->flags;
  if (!(f & LSFP_LEFT) && !w.pad(w.code(LSFPC_BLANK), padding)) {
    *written = w.written();
    return full(ctx, "lsfpcst()", *written);
  }
  lxmcur in;
  lxmcpen(text, length, &in, h, glo);
  size_t n = lxoCpDisp(out, w.left(), &in, SIZE_MAX, size_t(d), LXO_NULTERM, glo);
  const size_t used = size_t(in.pos - in.start);
  // the display width of what was copied
  const uint64_t copied = lxsCntDisp(text, used, LXO_NULTERM, h, glo);
  const bool ended = used >= in.len || in.pos[0] == 0;
  if (copied < d && !ended) {
    *written = w.written();
    const size_t after = w.left();
    if (n < after) {
      lsfp_record(ctx, LSF_DISPWIDTH, 0, "lsfpcst()", uint64_t(*written));
      return LSFP_ECONV;
    }
    return full(ctx, "lsfpcst()", *written);
  }
  if ((f & LSFP_LEFT) && !w.pad(w.code(LSFPC_BLANK), padding)) {
    *written = w.written();
    return full(ctx, "lsfpcst()", *written);
  }
  *written = w.written();
  return 0;
}

int lsfpcme(lsf_ctx *ctx, lxmcur *out, size_t room, const uint8_t *buf, size_t len,
            const lsfp_conv *conv, lxglo *glo, size_t *written) {
  Writer w(ctx, out, room, glo);
  *written = 0;
  if (len == 0) return 0;
  if (!buf) {
    uint64_t zero = 0;
    lsforec(ctx, LSF_INTERNAL, LSFP_SITE_NULL, nullptr, LSFTXTP, "In lsfpcme(), failure occurs.",
            LSFTXTP, "NULL pointer given.", LSFTXTP, "Number of bytes written: ", LSFUBIG_ZUR,
            &zero, LSFEND);
    return LSFP_ENULL;
  }
  lsfp_conv s = *conv;
  s.base = 16;
  for (size_t i = 0; i < len; ++i) {
    if (w.left() == 0 || (i > 0 && !w.put(w.code(LSFPC_BLANK)))) {
      *written = w.written();
      return full(ctx, "lsfpcme()", *written);
    }
    size_t part = 0;
    int r = lsfpcbg(ctx, out, w.left(), buf[i], 0, 0, 0, &s, 0, glo, &part);
    if (r == LSFP_EFULL) {
      *written = w.written();
      if (ctx->priv->record) lwemdtm(lsf_ctx_errs(ctx));
      return full(ctx, "lsfpcme() when calling lsfpcbg", *written);
    }
    if (r != 0) {
      *written = w.written();
      return r;
    }
  }
  *written = w.written();
  return 0;
}

int lsfpcon(lsf_ctx *ctx, lxmcur *out, size_t room, const uint8_t *num, size_t len,
            const lsfp_conv *conv, int letter, lxglo *glo, size_t *written) {
  Writer w(ctx, out, room, glo);
  *written = 0;
  const uint16_t f = conv->flags;
  const size_t width = field(conv->width);
  auto emit = [&](const char *text, size_t n, size_t total, bool sign) -> int {
    const size_t need = n + (sign ? 1 : 0);
    const size_t padding = total > need ? total - need : 0;
    bool ok = true;
    if (!(f & LSFP_LEFT)) ok = w.pad(w.code(LSFPC_BLANK), padding);
    if (ok && sign) ok = w.put((f & LSFP_PLUS) ? w.code(LSFPC_PLUS) : w.code(LSFPC_BLANK));
    if (ok) ok = w.put(text, n);
    if (ok && (f & LSFP_LEFT)) ok = w.pad(w.code(LSFPC_BLANK), padding);
    *written = w.written();
    return ok ? 0 : full(ctx, "lsfpcon()", *written);
  };
  if (!num || !lnxchk(num, len)) return LSFP_ENUMBER;
  const uint8_t *body = len ? num : num + 1;
  const size_t blen = len ? len : num[0];
  const bool pinf = blen == 2 && body[0] == 0xFF && body[1] == 0x65;
  const bool ninf = blen == 1 && body[0] == 0;
  if (pinf || ninf) {
    // the default text at its own length; emit pads it to the width
    unsigned char t[2];
    const size_t n = ninf ? 2 : 1;
    lnxnuc(num, len, t, int(n), lsf_ctx_lang(ctx->priv));
    return emit(reinterpret_cast<const char *>(t), n, width > n ? width : n, false);
  }
  const NumShape d = shape_of(num, len);
  const int u = d.ndigits ? d.exp10 + 1 : 1;          // integer digits (0 or less below 1)
  const int X = u - 1;
  const int o = d.ndigits ? d.ndigits - u : 0;         // significant decimals after the point
  int64_t P = conv->precision >= 0 ? conv->precision : kDefaultPrecision;
  if (letter == LSFPC_G && o <= 0) P = 0;
  if ((f & LSFP_ALT) && P == 0) P = 1;
  const bool sci = letter == LSFPC_E || (letter == LSFPC_G && X < -4 && o > P);
  const bool sign = !d.negative && (f & (LSFP_PLUS | LSFP_SPACE));
  // The descriptor carries at most kDescMax positions. Decimals past the
  // number's own significant ones are zeros: lnxnft renders the decimals
  // that can be nonzero (at least one), and the zeros after them and the
  // leading zeros of a zero-padded field are written here, so any precision
  // and any width is honoured.
  const int64_t own = sci ? (d.ndigits > 1 ? d.ndigits - 1 : 1) : (o > 1 ? o : 1);
  const int64_t Pr = P < own ? P : own;                // rendered decimals
  const size_t more = size_t(P - Pr);                  // zeros after them
  const size_t exp_chars = (X + 1 < -98 || X + 1 > 100) ? 5 : 4;
  const size_t ints = sci ? 1 : size_t(u > 1 ? u : 1) + 1;  // one more for a carry
  const size_t natural = (d.negative ? 1 : 0) + ints + (Pr ? 1 + size_t(Pr) : 0) + (sci ? exp_chars : 0);
  static_assert(LNX_MAXDIGITS * 2 + 130 + 4 < kDescMax, "a NUMBER's text fits a descriptor");
  assert(natural <= kDescMax);
  lnx_fmt fmt{};
  fmt.flags = LNXF_FORMATTED | (sci ? LNXF_SCI : 0u) | (P == 0 ? LNXF_NOPOINT : 0u);
  fmt.intpos = uint8_t(ints);
  fmt.decpos = uint8_t(Pr);
  fmt.mindec = uint8_t(Pr);
  fmt.minint = 1;
  fmt.width = uint8_t(natural);
  unsigned char text[kDescMax];
  const size_t n = lnxnftg(num, len, &fmt, text, lsf_ctx_lang(ctx->priv), glo);
  if (!(f & LSFP_UPPER))
    lxsCnvSimple(text, text, n, kLowerFlags | LXO_EXACTLEN, lsf_ctx_lang(ctx->priv), glo);
  // The text's parts: its "-", its digits up to the exponent, the exponent.
  const size_t minus = d.negative ? 1 : 0;
  size_t tail = 0;
  if (sci && more) {
    const int e = X < 0 ? -X : X;
    tail = 2 + (e >= 100 ? 3 : 2);  // "E", its sign and two or three digits
  }
  const size_t body_len = n + more;
  // with "0" and a width, leading zeros up to the width (fixed form only)
  size_t zeros = 0;
  if ((f & LSFP_ZERO) && width > 0 && !sci && width > body_len + (sign ? 1 : 0))
    zeros = width - body_len - (sign ? 1 : 0);
  const size_t total = body_len + zeros;
  const size_t padding = width > total + (sign ? 1 : 0) ? width - total - (sign ? 1 : 0) : 0;
  const char zero = w.code(LSFPC_ZERO);
  const char *t = reinterpret_cast<const char *>(text);
  bool ok = true;
  if (!(f & LSFP_LEFT)) ok = w.pad(w.code(LSFPC_BLANK), padding);
  if (ok && sign) ok = w.put((f & LSFP_PLUS) ? w.code(LSFPC_PLUS) : w.code(LSFPC_BLANK));
  if (ok) ok = w.put(t, minus);
  if (ok) ok = w.pad(zero, zeros);
  if (ok) ok = w.put(t + minus, n - minus - tail);
  if (ok) ok = w.pad(zero, more);
  if (ok) ok = w.put(t + n - tail, tail);
  if (ok && (f & LSFP_LEFT)) ok = w.pad(w.code(LSFPC_BLANK), padding);
  *written = w.written();
  return ok ? 0 : full(ctx, "lsfpcon()", *written);
}

// ---- UTF-16 ----------------------------------------------------------------------

int lsfu16to8(lsf_ctx *ctx, const void *text, char **out, size_t *outlen) {
  lsf_priv *p = ctx && ctx->priv ? ctx->priv : nullptr;
  if (!p || !p->csobj || !text) return -1;  // not a UTF-16 context
  const size_t units = lxuStrLen(p->cvt, text);
  const size_t ratio = p->ratio < 2 ? 2 : p->ratio;
  const size_t size = ratio * units * 2 + 1;
  char *buf = static_cast<char *>(lsfp_alloc(ctx, size + units * 2 + 2));
  if (!buf) {
    lsfp_record(ctx, LSF_NOMEM, 0, "lsfpd() failed to allocate memory", 0);
    return -1;
  }
  // the units, aligned, after the text's room
  char *tail = buf + size;
  auto aligned = reinterpret_cast<uint16_t *>(tail + (reinterpret_cast<uintptr_t>(tail) & 1));
  std::memcpy(aligned, text, units * 2);
  lxglo *glo = p->glo;
  auto cs = reinterpret_cast<const lxcsobj *>(p->csobj);
  uint32_t n = lxgu2t(buf, cs, uint32_t(size - 1), aligned, uint32_t(units), 0, glo);
  buf[n] = 0;
  *out = buf;
  *outlen = n;
  return 0;
}

int lsfu8to16(lsf_ctx *ctx, const char *text, void **raw, uint16_t **aligned, size_t *units) {
  lsf_priv *p = ctx && ctx->priv ? ctx->priv : nullptr;
  if (!p || !p->csobj || !text) return -1;  // not a UTF-16 context
  const lxlangid *h = lsf_ctx_lang(p);
  const size_t len = (h->flags & LXH_F_WIDE) ? lxsulen(text) : std::strlen(text);
  uint16_t *dst = *aligned;
  if (!dst) {
    char *buf = static_cast<char *>(lsfp_alloc(ctx, len * 2 + 2 + 1));
    if (!buf) {
      lsfp_record(ctx, LSF_NOMEM, 0, "lsfpd() failed to allocate memory", 0);
      return -1;
    }
    *raw = buf;
    dst = reinterpret_cast<uint16_t *>(buf + (reinterpret_cast<uintptr_t>(buf) & 1));
    *aligned = dst;
  }
  auto cs = reinterpret_cast<const lxcsobj *>(p->csobj);
  uint32_t n = lxgt2u(dst, uint32_t(len), text, cs, uint32_t(len), 0, p->glo);
  dst[n] = 0;
  *units = n;
  return 0;
}

void lsfu16free(lsf_ctx *ctx, void *buffer) { lsfp_free(ctx, buffer); }

}  // extern "C"
