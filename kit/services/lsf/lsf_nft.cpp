// The formatted text of a NUMBER (see lsf_nft.h).
#include "lsf_nft.h"

#include <cstring>

#include "lxl.h"
#include "lxh.h"

namespace {

constexpr uint8_t kExpBias = 193;         // exponent byte of a positive number: 193 + e
constexpr uint8_t kNegTerminator = 102;   // ends a negative number of fewer than 20 digits

bool pos_inf(const uint8_t *n, size_t l) { return l == 2 && n[0] == 0xFF && n[1] == 0x65; }
bool neg_inf(const uint8_t *n, size_t l) { return l == 1 && n[0] == 0; }

// The counted form of a NUMBER given as (bytes, length).
void counted(const uint8_t *&num, size_t &len) {
  if (len == 0) {
    len = num[0];
    ++num;
  }
}

}  // namespace

void lsfnum_decode(const uint8_t *num, size_t len, lsfnum_dec *out) {
  counted(num, len);
  *out = lsfnum_dec{};
  if (len <= 1) return;  // zero
  const bool negative = !(num[0] & 0x80);
  size_t n = len - 1;
  if (negative && num[len - 1] == kNegTerminator) --n;
  const int e = int(uint8_t(negative ? ~num[0] : num[0])) - kExpBias;
  int k = 0;
  for (size_t i = 0; i < n; ++i) {
    int d = negative ? 101 - num[1 + i] : num[1 + i] - 1;
    out->digits[k++] = char('0' + d / 10);
    out->digits[k++] = char('0' + d % 10);
  }
  int lead = 0;
  while (lead < k && out->digits[lead] == '0') ++lead;
  while (k > lead && out->digits[k - 1] == '0') --k;
  std::memmove(out->digits, out->digits + lead, size_t(k - lead));
  out->ndigits = k - lead;
  out->digits[out->ndigits] = 0;
  out->exp10 = 2 * e + 1 - lead;
  out->negative = negative;
}

namespace {

// Rounds the decimal digits half away from zero so that none lies below
// position keep (an exponent of ten); a carry may raise exp10.
void round_at(lsfnum_dec &d, int keep) {
  int count = d.exp10 - keep + 1;  // digits that stay
  if (count >= d.ndigits) return;
  if (count < 0) {
    d.ndigits = 0;
    return;
  }
  bool up = d.digits[count] >= '5';
  d.ndigits = count;
  if (up) {
    int i = count - 1;
    for (; i >= 0 && d.digits[i] == '9'; --i) d.digits[i] = '0';
    if (i >= 0) {
      ++d.digits[i];
    } else {
      std::memmove(d.digits + 1, d.digits, size_t(d.ndigits));
      d.digits[0] = '1';
      ++d.ndigits;
      ++d.exp10;
    }
  }
  while (d.ndigits > 0 && d.digits[d.ndigits - 1] == '0') --d.ndigits;
  d.digits[d.ndigits] = 0;
}

char decimal_char(const lxlangid *h) {
  if (h && (h->flags & LXH_F_SINGLE) && h->numchars[0]) return char(h->numchars[0]);
  return '.';
}

}  // namespace

size_t lsfnum_nft(const uint8_t *num, size_t len, const lsfnum_fmt *fmt, char *out,
                  const lxlangid *lang) {
  auto fill = [&]() {
    std::memset(out, '#', fmt->width);
    return size_t(fmt->width);
  };
  if (!(fmt->flags & LSFNUM_FORMATTED)) return fill();
  {
    const uint8_t *n = num;
    size_t l = len;
    counted(n, l);
    if (pos_inf(n, l) || neg_inf(n, l)) return fill();
  }
  lsfnum_dec d;
  lsfnum_decode(num, len, &d);
  const bool sci = (fmt->flags & LSFNUM_SCI) != 0;
  const int dec = int(fmt->dec_pos);
  int exponent = 0;
  if (d.ndigits > 0) {
    if (sci) {
      round_at(d, d.exp10 - int(fmt->int_pos) - dec + 1);
      exponent = d.exp10;
      d.exp10 = int(fmt->int_pos) - 1;  // the mantissa's leading digit
    } else {
      round_at(d, -dec);
    }
  }
  const bool zero = d.ndigits == 0;
  if (!zero && !sci && d.exp10 + 1 > int(fmt->int_pos)) return fill();
  // the digit at exponent position q, '0' outside the significant digits
  auto digit_at = [&](int q) -> char {
    int i = d.exp10 - q;
    return (!zero && i >= 0 && i < d.ndigits) ? d.digits[i] : '0';
  };
  size_t o = 0;
  if (d.negative) out[o++] = '-';
  const int I = zero ? 0 : (d.exp10 + 1 > 0 ? d.exp10 + 1 : 0);
  int ints = I > int(fmt->min_int) ? I : int(fmt->min_int);
  for (int q = ints - 1; q >= 0; --q) out[o++] = digit_at(q);
  if (!(fmt->flags & LSFNUM_NOPOINT)) {
    out[o++] = decimal_char(lang);
    int decs = dec > int(fmt->min_dec) ? dec : int(fmt->min_dec);
    for (int q = -1; q >= -decs; --q) out[o++] = digit_at(q);
  }
  if (sci) {
    out[o++] = 'E';
    out[o++] = exponent < 0 ? '-' : '+';
    int a = exponent < 0 ? -exponent : exponent;
    if (a >= 100) {
      out[o++] = '1';
      a -= 100;
    }
    out[o++] = char('0' + a / 10);
    out[o++] = char('0' + a % 10);
  }
  return o;
}
