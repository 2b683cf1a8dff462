// The default text of a NUMBER, and its hexadecimal text.
//
// The default text shows as many significant digits as fit the field: fixed
// form while the integer part fits, exponent form otherwise (or when asked
// for with a negative width), '#' over the whole field when nothing fits.
// Each rounding to fewer digits can change the leading digit's decimal
// exponent, so the choice of form is made again after it.
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "lnx.h"
#include "lnx_int.h"
#include "lxg.h"
#include "lxh.h"
#include "lxo.h"
#include "lxp.h"

using namespace lnxi;

namespace {

constexpr int kFormPasses = 8;      // roundings never need more than three
constexpr int kUtf16Chars = 80;     // the AL16UTF16 path's private buffer, in characters
constexpr int kNumcharsItem = 65;   // the handle's numeric characters
constexpr int kExpFixed = 5;        // "E+dd" and the mantissa's point
constexpr int kSmallX = -5;         // fixed form holds leading zeros down to 10^-6
constexpr int kMaxWidth = 0x7FFFFFFF;

// The significant decimal digits of a finite nonzero NUMBER.
struct Decimal {
  bool neg;
  int x;           // decimal exponent of the leading digit
  int d;           // digit count
  char dig[2 * LNX_MAXDIGITS];
};

Decimal decimal_of(const View &v) {
  Decimal r{};
  r.neg = v.neg;
  for (int i = 0; i < v.n; ++i) {
    int q = digit_of(v, i);
    r.dig[r.d++] = static_cast<char>(q / 10);
    r.dig[r.d++] = static_cast<char>(q % 10);
  }
  int lead = r.dig[0] == 0 ? 1 : 0;
  if (lead) std::memmove(r.dig, r.dig + 1, --r.d);
  while (r.dig[r.d - 1] == 0) --r.d;
  r.x = 2 * v.exp + 1 - lead;
  return r;
}

// Writes the text of num into out (at most |width| bytes) and returns its
// length, or -1 when the field must be filled with '#'.
int render(const lnx_number *num, size_t len, int width, const char *tab, char dec, char *out) {
  const bool forced = width < 0;
  const int field = std::abs(width);
  uint8_t cur[LNX_MAXPREFIXED];
  lnxcopy(num, len, cur, nullptr);
  int k = 0;
  for (int pass = 0; pass < kFormPasses; ++pass) {
    View v = view_of(cur, 0);
    if (v.kind == kZero) {
      if (!forced) return out[0] = tab[LNXQ_DIGIT0], 1;
      if (field < kExpFixed) return -1;
      const char z[] = {tab[LNXQ_DIGIT0], tab[LNXQ_UPPER_E], tab[LNXQ_PLUS], tab[LNXQ_DIGIT0],
                        tab[LNXQ_DIGIT0]};
      std::memcpy(out, z, sizeof z);
      return static_cast<int>(sizeof z);
    }
    if (v.kind == kPosInf) return out[0] = tab[LNXQ_INFINITY], 1;
    if (v.kind == kNegInf) {
      if (field < 2) return -1;
      out[0] = tab[LNXQ_MINUS], out[1] = tab[LNXQ_INFINITY];
      return 2;
    }
    const Decimal n = decimal_of(v);
    const int w = field - (n.neg ? 1 : 0);
    const bool expo = forced || (n.x >= 0 && w <= n.x) || (n.x < kSmallX && n.d - n.x > w && w > 6);
    int fit;  // significant digits the chosen form holds
    if (expo) {
      fit = w - kExpFixed - (std::abs(n.x) >= 100 ? 1 : 0);
      if (fit < 2) return -1;
    } else if (n.x >= 0) {
      fit = n.x + 1 < w ? w - 1 : w;
    } else {
      fit = w + n.x;
    }
    if (n.d > fit) {
      lnxfpr(cur, 0, cur, nullptr, fit);
      continue;
    }
    if (n.neg) out[k++] = tab[LNXQ_MINUS];
    if (expo) {
      out[k++] = tab[static_cast<int>(n.dig[0])];
      out[k++] = dec;
      for (int i = 1; i < fit; ++i) out[k++] = tab[i < n.d ? static_cast<int>(n.dig[i]) : 0];
      out[k++] = tab[LNXQ_UPPER_E];
      out[k++] = tab[n.x >= 0 ? LNXQ_PLUS : LNXQ_MINUS];
      int ax = std::abs(n.x);
      if (ax >= 100) out[k++] = tab[ax / 100];
      out[k++] = tab[ax / 10 % 10];
      out[k++] = tab[ax % 10];
      assert(k == field);
    } else if (n.x >= 0) {
      for (int i = 0; i <= n.x; ++i) out[k++] = tab[i < n.d ? static_cast<int>(n.dig[i]) : 0];
      if (n.d > n.x + 1) {
        out[k++] = dec;
        for (int i = n.x + 1; i < n.d; ++i) out[k++] = tab[static_cast<int>(n.dig[i])];
      }
    } else {
      out[k++] = dec;
      for (int i = 0; i < -n.x - 1; ++i) out[k++] = tab[LNXQ_DIGIT0];
      for (int i = 0; i < n.d; ++i) out[k++] = tab[static_cast<int>(n.dig[i])];
    }
    assert(k <= field);
    return k;
  }
  assert(!"the default form did not settle");
  return -1;
}

// Lays out a rendered text in a field of `field` units of `unit` bytes.
// Returns the bytes reported.
int justify(unsigned char *buf, int textlen, int field, int pad, char blank, char hash) {
  if (textlen < 0) {
    std::memset(buf, hash, field);
    return field;
  }
  if (!pad) return textlen;
  std::memmove(buf + (field - textlen), buf, textlen);
  std::memset(buf, blank, field - textlen);
  return field;
}

// AL16UTF16: the ASCII text is made in the caller's buffer over |width| / 2
// characters and converted into the handle's charset through a private
// buffer. A text longer than that buffer, or one that does not convert, is
// shown as '#' over the field.
void nuc_utf16(const lnx_number *num, size_t len, unsigned char *buf, int width,
               const lxlangid *lang, int *outlen, int pad, lxglo *glo) {
  const int chars = std::abs(width) / 2;
  const lxcsobj *cs = (const lxcsobj *)lxdgetobj(lang->cs, LXP_TYPE_CHARSET, glo);
  const lxcsobj *utf8 = lxhchtoid("utf8", 4, glo);
  if (!cs || !utf8) return;
  char dec = lnxqasc_chars[LNXQ_POINT];
  char nc[8] = {};
  if (lxhlinfo(lang, kNumcharsItem, nc, sizeof nc, glo)) {
    size_t nclen = (lang->flags & LXH_F_WIDE) ? lxsulen(nc) : std::strlen(nc);
    size_t first = (lang->flags & LXH_F_WIDE) ? 2 : 1;
    char one = 0;
    if (nclen >= first && lxgcnv(&one, utf8, 1, nc, cs, first, glo) == 1) dec = one;
  }
  int n = chars == 0 ? -1 : render(num, len, width < 0 ? -chars : chars, lnxqasc_chars, dec,
                                   reinterpret_cast<char *>(buf));
  if (n >= 0) n = justify(buf, n, chars, pad, lnxqasc_chars[LNXQ_BLANK], 0);
  unsigned char wide[2 * kUtf16Chars];
  size_t got = 0;
  if (n > kUtf16Chars) n = -1;
  if (n > 0) {
    const void *src = buf;
    uint32_t left = static_cast<uint32_t>(n);
    const int32_t w = lxgcvp(wide, cs, sizeof wide, &src, utf8, &left, LXG_LAST, glo);
    got = w > 0 ? static_cast<size_t>(w) : 0;
    if (w < 0 || glo->status != 0 || left != 0 || got != 2 * static_cast<size_t>(n)) n = -1;
  }
  if (n < 0) {  // '#' over the whole field, written as units
    for (int i = 0; i < chars; ++i) buf[2 * i] = 0, buf[2 * i + 1] = '#';
    *outlen = 2 * chars;
    return;
  }
  std::memcpy(buf, wide, got);
  *outlen = static_cast<int>(got);
}

}  // namespace

extern "C" {

void lnxnucoptg(const lnx_number *num, size_t len, unsigned char *buf, int width,
                const lxlangid *lang, int *outlen, int pad, lxglo *glo) {
  if (width == 0) return;
  if (width < -kMaxWidth) width = -kMaxWidth;  // no field holds |INT_MIN| bytes
  const char *tab = lnxqcom_chars;
  char dec = lnxqcom_chars[LNXQ_POINT];
  if (lang) {
    if (lang->flags & LXH_F_AL16UTF16) {
      if (glo) return nuc_utf16(num, len, buf, width, lang, outlen, pad, glo);
      for (int i = 0; i < std::abs(width) / 2; ++i) buf[2 * i] = 0, buf[2 * i + 1] = '#';
      *outlen = std::abs(width) / 2 * 2;
      return;
    }
    tab = (lang->flags & LXH_F_ASCII) ? lnxqasc_chars : lnxqebc_chars;
    dec = static_cast<char>(lang->numchars[0]);
  }
  const int field = std::abs(width);
  // A handle without an environment cannot be served: '#' over the field.
  int n = lang && !glo ? -1 : render(num, len, width, tab, dec, reinterpret_cast<char *>(buf));
  *outlen = justify(buf, n, field, pad, tab[LNXQ_BLANK], tab[LNXQ_OVERFLOW]);
}

void lnxnucopt(const lnx_number *num, size_t len, unsigned char *buf, int width,
               const lxlangid *lang, int *outlen, int pad) {
  lxglo *glo = lang ? lxGetGloPtr(lang, nullptr) : nullptr;
  lnxnucoptg(num, len, buf, width, lang, outlen, pad, glo);
}

void lnxnucg(const lnx_number *num, size_t len, unsigned char *buf, int width,
             const lxlangid *lang, lxglo *glo) {
  int ignored;
  lnxnucoptg(num, len, buf, width, lang, &ignored, 1, glo);
}

void lnxnuc(const lnx_number *num, size_t len, unsigned char *buf, int width,
            const lxlangid *lang) {
  int ignored;
  lnxnucopt(num, len, buf, width, lang, &ignored, 1);
}

size_t lnxqn2h(const lnx_number *num, size_t len, char *buf, size_t size, int fill,
               const char *table) {
  const View v = view_of(num, len);
  if (v.kind == kNegInf || v.kind == kPosInf || (v.kind == kFinite && v.neg)) return 0;
  // The integer part in 16-bit limbs, least significant first; the largest
  // NUMBER (below 100^63, 419 bits) needs 27.
  constexpr int kLimbs = 28;
  uint16_t limb[kLimbs] = {};
  int nl = 0;  // limbs in use
  auto muladd = [&](uint32_t mul, uint32_t add) {
    uint32_t carry = add;
    for (int i = 0; i < nl; ++i) {
      uint32_t t = limb[i] * mul + carry;
      limb[i] = static_cast<uint16_t>(t);
      carry = t >> 16;
    }
    while (carry) {
      assert(nl < kLimbs);
      limb[nl++] = static_cast<uint16_t>(carry);
      carry >>= 16;
    }
  };
  if (v.kind == kFinite && v.exp >= 0) {
    const int stored = v.n < v.exp + 1 ? v.n : v.exp + 1;  // fraction digits ignored
    int i = 0;
    if (stored % 2) muladd(100, static_cast<uint32_t>(digit_of(v, i++)));
    for (; i < stored; i += 2)
      muladd(10000, static_cast<uint32_t>(digit_of(v, i) * 100 + digit_of(v, i + 1)));
    for (int m = v.exp + 1 - stored; m > 0; --m) muladd(100, 0);
  }
  auto hexch = [&](unsigned d) { return d < 10 ? table[d] : static_cast<char>(table[LNXQ_LOWER] + (d - 10)); };
  if (nl == 0) {  // zero
    if (size == 0) return 0;
    if (!fill) return buf[0] = table[0], 1;
    std::memset(buf, table[0], size);
    return size;
  }
  int top = 4;
  while (((limb[nl - 1] >> (4 * (top - 1))) & 0xF) == 0) --top;
  const size_t need = static_cast<size_t>(4 * (nl - 1) + top);
  if (need > size) return 0;
  const size_t lead = fill ? size - need : 0;
  std::memset(buf, table[0], lead);
  char *p = buf + lead;
  for (int s = top - 1; s >= 0; --s) *p++ = hexch((limb[nl - 1] >> (4 * s)) & 0xF);
  for (int l = nl - 2; l >= 0; --l)
    for (int s = 3; s >= 0; --s) *p++ = hexch((limb[l] >> (4 * s)) & 0xF);
  return lead + need;
}

}  // extern "C"
