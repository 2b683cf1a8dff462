// The number operations of the print engine (see lsf_lnx.h): an exact
// rendering of doubles and NUMBERs to text in the NUMBER library's rules.
#include "lsf_lnx.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include "lxl.h"
#include "lxh.h"

namespace {

constexpr uint8_t kZero = 0x80;           // the NUMBER zero
constexpr uint8_t kExpBias = 193;         // exponent byte of a positive number: 193 + e
constexpr uint8_t kNegTerminator = 102;   // ends a negative number of fewer than 20 digits
constexpr int kMaxDigits = 20;            // base-100 digits of a NUMBER
constexpr int kMaxExp = 62;
constexpr int kMinExp = -65;
constexpr int kDoubleDigits = 8;          // base-100 digits produced for a double

struct Power {
  int k;
  double up, down;
};
constexpr Power kPowers[] = {{128, 1e256, 1e-256}, {64, 1e128, 1e-128}, {32, 1e64, 1e-64},
                             {16, 1e32, 1e-32},    {8, 1e16, 1e-16},    {4, 1e8, 1e-8},
                             {2, 1e4, 1e-4},       {1, 1e2, 1e-2}};
constexpr size_t kFromFour = 5;  // index of k = 4

bool pos_inf(const uint8_t *n, size_t l) { return l == 2 && n[0] == 0xFF && n[1] == 0x65; }
bool neg_inf(const uint8_t *n, size_t l) { return l == 1 && n[0] == 0; }

// The counted form of a NUMBER given as (bytes, length).
void counted(const uint8_t *&num, size_t &len) {
  if (len == 0) {
    len = num[0];
    ++num;
  }
}

void infinity(bool negative, uint8_t *num, size_t *len) {
  if (negative) {
    num[0] = 0;
    *len = 1;
  } else {
    num[0] = 0xFF;
    num[1] = 0x65;
    *len = 2;
  }
}

}  // namespace

void lsfnum_ren(const void *value, size_t size, uint8_t *num, size_t *len) {
  double v = 0;
  if (size == sizeof(double)) std::memcpy(&v, value, sizeof v);
  if (size == sizeof(float)) {
    float f;
    std::memcpy(&f, value, sizeof f);
    v = f;
  }
  if (v == 0 || std::isnan(v)) {
    num[0] = kZero;
    *len = 1;
    return;
  }
  const bool negative = v < 0;
  double h = negative ? -v : v;
  if (std::isinf(h)) return infinity(negative, num, len);
  int e = 0;
  if (h >= 1) {
    for (size_t i = h < 1e16 ? kFromFour : 0; i < std::size(kPowers); ++i)
      if (h >= kPowers[i].up) {
        h *= kPowers[i].down;
        e += kPowers[i].k;
      }
  } else {
    for (size_t i = h > 1e-16 ? kFromFour : 0; i < std::size(kPowers); ++i)
      if (h < kPowers[i].down) {
        h *= kPowers[i].up;
        e -= kPowers[i].k;
      }
    e -= 1;
    h *= 100;
  }
  if (e > kMaxExp) return infinity(negative, num, len);
  if (e < kMinExp) {
    num[0] = kZero;
    *len = 1;
    return;
  }
  const bool whole = h < 10;
  int d[kDoubleDigits + 1];
  for (int i = 0; i < kDoubleDigits; ++i) {
    int digit = int(h);
    d[i] = digit;
    h = (h - digit) * 100;
  }
  int next = int(h);
  int &last = d[kDoubleDigits - 1];
  if (whole) {
    if (next >= 50) ++last;
  } else {
    last = last / 10 * 10 + (last % 10 >= 5 ? 10 : 0);
  }
  int n = kDoubleDigits;
  for (int i = n - 1; i > 0 && d[i] >= 100; --i) {
    d[i] -= 100;
    ++d[i - 1];
  }
  if (d[0] >= 100) {
    d[0] = 1;
    n = 1;
    if (++e > kMaxExp) return infinity(negative, num, len);
  }
  while (n > 1 && d[n - 1] == 0) --n;
  num[0] = uint8_t(kExpBias + e);
  for (int i = 0; i < n; ++i) num[1 + i] = uint8_t(d[i] + 1);
  *len = size_t(n) + 1;
  if (negative) {
    num[0] = uint8_t(~num[0]);
    for (int i = 0; i < n; ++i) num[1 + i] = uint8_t(102 - num[1 + i]);
    if (n < kMaxDigits) num[(*len)++] = kNegTerminator;
  }
}

int lsfnum_chk(const uint8_t *num, size_t len) {
  if (!num) return 0;
  counted(num, len);
  if (len == 0 || len > LSFNUM_MAXLEN) return 0;
  if (pos_inf(num, len) || neg_inf(num, len)) return 1;
  if (len == 1) return num[0] == kZero;
  if (num[0] & 0x80) {
    if (num[0] == kZero || len > size_t(kMaxDigits) + 1) return 0;
    for (size_t i = 1; i < len; ++i)
      if (num[i] < 1 || num[i] > 100) return 0;
    return num[len - 1] != 1;  // no trailing zero digit
  }
  size_t n = len - 1;
  if (num[len - 1] == kNegTerminator) --n;
  if (n == 0 || n > size_t(kMaxDigits)) return 0;
  for (size_t i = 1; i <= n; ++i)
    if (num[i] < 2 || num[i] > 101) return 0;
  return 1;
}

void lsfnum_copy(const uint8_t *num, size_t len, uint8_t *dst, size_t *dstlen) {
  counted(num, len);
  if (len > LSFNUM_MAXLEN) len = 0;
  std::memcpy(dst, num, len);
  *dstlen = len;
}

size_t lsfnum_nuc(const uint8_t *num, size_t len, char *out) {
  counted(num, len);
  if (neg_inf(num, len)) {
    std::memcpy(out, "-~", 2);
    return 2;
  }
  out[0] = '~';
  return 1;
}

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
  if (!(fmt->flags & LSFNUM_FORMATTED) || !lsfnum_chk(num, len)) return fill();
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
