// Native floating-point values (float, double, binary128) to NUMBERs.
//
// The value is scaled into [1, 100) by powers of 100 and its base-100 digits
// are peeled off in the native type's own arithmetic, so the digits are
// those of that arithmetic: the build keeps doubles in SSE registers and
// fuses no multiply-add, and both widths give the same bytes. binary128 uses
// the compiler's soft-float routines.
#include <cstring>

#include "lnx.h"
#include "lnx_int.h"

using namespace lnxi;

namespace {

constexpr int kRows = 8;
constexpr int kFirstSmall = 2;  // row of k = 4, where small walks start


// Indexes into LnxqParameters.
constexpr int kParamQuad = 0, kParamDouble = 2, kParamFloat = 4;

template <typename F>
struct Powers;
template <>
struct Powers<double> {
  static const lnxdpow *rows() { return SlnxDblPowers; }
};
template <>
struct Powers<__float128> {
  static const lnxqpow *rows() { return SlnxLDblPowers; }
};

template <typename F>
void convert(F h, int param, lnx_number *r, size_t *rlen) {
  if (h != h) return put_inf(false, r, rlen);  // NaN
  if (h == 0) return put_zero(r, rlen);
  const bool neg = h < 0;
  if (neg) h = -h;
  if (h > F(1) && h * F(0.5) == h) return put_inf(neg, r, rlen);  // an infinity

  const auto *rows = Powers<F>::rows();
  int e = 0;
  if (h >= F(1)) {
    int start = h < rows[3].up ? kFirstSmall : kRows - 1;
    for (int i = start; i >= 0; --i)
      if (h >= rows[i].up) h *= rows[i].down, e += rows[i].k;
  } else {
    int start = h > rows[3].down ? kFirstSmall : kRows - 1;
    for (int i = start; i >= 0; --i)
      if (h < rows[i].down) h *= rows[i].up, e -= rows[i].k;
    e -= 1;
    h *= F(100);
  }
  if (e > kMaxExp) return put_inf(neg, r, rlen);
  if (e < kMinExp) return put_zero(r, rlen);

  const int *p = LnxqParameters[param + (h >= F(10) ? 1 : 0)];
  const int t = p[0];
  const bool whole = p[1] != 0;
  uint8_t buf[LNX_MAXDIGITS + 1];  // buf[0] takes a carry out of the top
  uint8_t *dig = buf + 1;
  buf[0] = 0;
  for (int i = 0; i < t; ++i) {
    int d = static_cast<int>(h);
    dig[i] = static_cast<uint8_t>(d);
    h = (h - F(d)) * F(100);
  }
  const int c = static_cast<int>(h);
  int last = dig[t - 1];
  if (whole) {
    if (c >= 50) ++last;
  } else {
    last = kTab.round_p[last + 1] - 1;
  }
  dig[t - 1] = static_cast<uint8_t>(last);
  if (last == 100) {
    dig[t - 1] = 0;
    int k = t - 2;
    while (k >= 0 && dig[k] == 99) dig[k--] = 0;
    if (k < 0)
      buf[0] = 1;
    else
      ++dig[k];
  }
  emit(buf, t + 1, e + 1, neg, r, rlen);
}

}  // namespace

extern "C" {

// The decimal literals are rounded correctly by the compiler.
const lnxdpow SlnxDblPowers[kRows] = {
    {1, 1e2, 1e-2},     {2, 1e4, 1e-4},     {4, 1e8, 1e-8},     {8, 1e16, 1e-16},
    {16, 1e32, 1e-32},  {32, 1e64, 1e-64},  {64, 1e128, 1e-128}, {128, 1e256, 1e-256}};

// binary128 rows: 100^k by squaring (exact up to 100^16, within a few units
// of the last place beyond) and their reciprocals, computed when the
// program starts.
static lnxqpow qrow(int i) {
  __float128 up = 100;
  for (int j = 0; j < i; ++j) up *= up;
  return {1 << i, up, 1 / up};
}
const lnxqpow SlnxLDblPowers[kRows] = {qrow(0), qrow(1), qrow(2), qrow(3),
                                       qrow(4), qrow(5), qrow(6), qrow(7)};

void lnxren(const void *value, size_t size, lnx_number *r, size_t *rlen) {
  switch (size) {
    case 4: {
      float f;
      std::memcpy(&f, value, 4);
      return convert<double>(static_cast<double>(f), kParamFloat, r, rlen);
    }
    case 8: {
      double d;
      std::memcpy(&d, value, 8);
      return convert<double>(d, kParamDouble, r, rlen);
    }
    case 16: {
      __float128 q;
      std::memcpy(&q, value, 16);
      return convert<__float128>(q, kParamQuad, r, rlen);
    }
    default:
      return put_zero(r, rlen);
  }
}

}  // extern "C"
