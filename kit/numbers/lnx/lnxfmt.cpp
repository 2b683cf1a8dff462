// The NUMBER format: validity check, copy, sign, and the shared readers and
// writers of the operations.
#include <cassert>
#include <cstring>

#include "lnx.h"
#include "lnx_int.h"

namespace lnxi {

void put_zero(lnx_number *dst, size_t *dstlen) {
  static const uint8_t zero = LNX_ZERO;
  put(&zero, 1, dst, dstlen);
}

void put_inf(bool neg, lnx_number *dst, size_t *dstlen) {
  static const uint8_t pos[2] = {LNX_POSINF0, LNX_POSINF1};
  static const uint8_t negb = LNX_NEGINF;
  if (neg)
    put(&negb, 1, dst, dstlen);
  else
    put(pos, 2, dst, dstlen);
}

void put_copy(const lnx_number *num, size_t len, lnx_number *dst, size_t *dstlen) {
  Body b = body_of(num, len);
  uint8_t tmp[LNX_MAXPREFIXED];
  copy_small(tmp, b.b, b.n);
  put(tmp, b.n, dst, dstlen);
}

int decode(const View &v, uint8_t *dig) {
  for (int i = 0; i < v.n; ++i) dig[i] = static_cast<uint8_t>(digit_of(v, i));
  return v.n;
}

void emit(uint8_t *dig, int n, int exp, bool neg, lnx_number *dst, size_t *dstlen) {
  while (n > 0 && dig[0] == 0) ++dig, --n, --exp;
  if (n == 0) return put_zero(dst, dstlen);
  if (n > LNX_MAXDIGITS) {
    bool up = dig[LNX_MAXDIGITS] >= 50;
    n = LNX_MAXDIGITS;
    if (up) {
      int i = n - 1;
      while (i >= 0 && dig[i] == 99) dig[i--] = 0;
      if (i < 0) {
        dig[0] = 1, n = 1, ++exp;
      } else {
        ++dig[i];
      }
    }
  }
  while (dig[n - 1] == 0) --n;
  if (exp > kMaxExp) return put_inf(neg, dst, dstlen);
  if (exp < kMinExp) return put_zero(dst, dstlen);
  uint8_t out[LNX_MAXBODY + 1];
  size_t k = 0;
  if (neg) {
    out[k++] = static_cast<uint8_t>(62 - exp);
    for (int i = 0; i < n; ++i) out[k++] = static_cast<uint8_t>(101 - dig[i]);
    if (n < LNX_MAXDIGITS) out[k++] = LNX_NEGTERM;
  } else {
    out[k++] = static_cast<uint8_t>(kExpBias + exp);
    for (int i = 0; i < n; ++i) out[k++] = static_cast<uint8_t>(dig[i] + 1);
  }
  put(out, k, dst, dstlen);
}

void round_places(const View &v, int64_t places, lnx_number *dst, size_t *dstlen) {
  // buf[0] receives a carry out of the leading digit.
  uint8_t buf[LNX_MAXDIGITS + 1];
  uint8_t *dig = buf + 1;
  buf[0] = 0;
  int n = decode(v, dig);
  int64_t j;  // index of the digit holding the last kept decimal place
  int carry_at;
  if (places % 2 == 0) {
    j = v.exp + places / 2;
    if (j + 1 >= n) goto unchanged;
    if (j < -1) return put_zero(dst, dstlen);
    if (j == -1) {
      if (dig[0] < 50) return put_zero(dst, dstlen);
      buf[0] = 1;
      return emit(buf, 1, v.exp + 1, v.neg, dst, dstlen);
    }
    bool up = dig[j + 1] >= 50;
    n = static_cast<int>(j + 1);
    carry_at = up ? static_cast<int>(j) : -2;
  } else {
    j = v.exp + (places + 1) / 2;
    if (j >= n) goto unchanged;
    if (j < 0) return put_zero(dst, dstlen);
    int units = dig[j] % 10;
    if (j == n - 1 && units == 0) goto unchanged;
    dig[j] = static_cast<uint8_t>(dig[j] - units);
    n = static_cast<int>(j + 1);
    carry_at = -2;
    if (units >= 5) {
      dig[j] = static_cast<uint8_t>(dig[j] + 10);
      if (dig[j] == 100) dig[j] = 0, carry_at = static_cast<int>(j) - 1;
    }
  }
  if (carry_at != -2) {
    int k = carry_at;
    while (k >= 0 && dig[k] == 99) dig[k--] = 0;
    if (k < 0)
      buf[0] = 1;
    else
      ++dig[k];
  }
  return emit(buf, n + 1, v.exp + 1, v.neg, dst, dstlen);
unchanged:
  // The view's bytes are a valid NUMBER: rebuild it from its digits so that
  // the terminator rule holds whatever form the operand came in.
  return emit(dig, n, v.exp, v.neg, dst, dstlen);
}

}  // namespace lnxi

using namespace lnxi;

extern "C" {

int lnxchk(const lnx_number *num, size_t len) {
  if (!num) return 0;
  if (len == 0) {
    len = num[0];
    if (len == 0) return 0;
    ++num;
  }
  uint8_t e = num[0];
  if (e & 0x80) {
    if (len == 1) return e == LNX_ZERO;
    if (e == LNX_POSINF0 && num[1] == LNX_POSINF1) return len == 2;
    if (len > LNX_MAXBODY) return 0;
    if (num[1] < 2 || num[len - 1] < 2) return 0;
    for (size_t i = 1; i < len; ++i)
      if (num[i] < 1 || num[i] > 100) return 0;
    return 1;
  }
  if (len <= 2) return len == 1 && e == LNX_NEGINF;
  if (len > LNX_MAXBODY) return 0;
  size_t end = len;  // one past the last digit
  if (num[len - 1] == LNX_NEGTERM)
    --end;
  else if (len != LNX_MAXBODY)
    return 0;
  if (end < 2) return 0;
  if (num[1] > 100 || num[end - 1] > 100) return 0;
  for (size_t i = 1; i < end; ++i)
    if (num[i] < 2 || num[i] > 101) return 0;
  return 1;
}

void lnxcopy(const lnx_number *src, size_t srclen, lnx_number *dst, size_t *dstlen) {
  const lnx_number *body = src;
  if (srclen == 0) srclen = src[0], body = src + 1;
  // No NUMBER is longer; a longer (invalid) length cannot overrun the
  // destination's 22 bytes.
  if (srclen > LNX_MAXBODY) srclen = LNX_MAXBODY;
  if (dstlen) {
    if (dst != body) std::memmove(dst, body, srclen);
    *dstlen = srclen;
  } else {
    if (dst + 1 != body) std::memmove(dst + 1, body, srclen);
    dst[0] = static_cast<uint8_t>(srclen);
  }
}

// Zero is the one-byte body 0x80; a longer body with that exponent byte is a
// positive number of the lowest exponent (0x80 0x02 is 1e-130).
int lnxsgn(const lnx_number *num, size_t len) {
  const Body b = body_of(num, len);
  const uint8_t e = b.b[0];
  if (e == LNX_ZERO && b.n == 1) return 0;
  return (e & 0x80) ? 1 : -1;
}

}  // extern "C"
