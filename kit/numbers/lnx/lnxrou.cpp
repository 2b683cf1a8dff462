// NUMBER rounding to decimal places, to significant digits, and to a
// column's scale with its precision check.
#include <cstdint>

#include "lnx.h"
#include "lnx_int.h"

using namespace lnxi;

namespace {

// Zero and the infinities stay as they are; true when handled.
bool keep_special(const View &v, lnx_number *r, size_t *rlen) {
  switch (v.kind) {
    case kZero: put_zero(r, rlen); return true;
    case kPosInf: put_inf(false, r, rlen); return true;
    case kNegInf: put_inf(true, r, rlen); return true;
    default: return false;
  }
}

// Decimal places of a finite view: twice its fraction digits, less one when
// the last digit's units decimal is 0.
int64_t dec_places(const View &v) {
  int64_t frac = static_cast<int64_t>(v.n) - 1 - v.exp;
  if (frac <= 0) return 0;
  return 2 * frac - kTab.first[v.d[v.n - 1]];
}

}  // namespace

extern "C" {

void lnxrou(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen, int places) {
  View v = view_of(num, len);
  if (keep_special(v, r, rlen)) return;
  round_places(v, places, r, rlen);
}

void lnxfpr(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen, int digits) {
  View v = view_of(num, len);
  if (keep_special(v, r, rlen)) return;
  if (digits < 0) return put_zero(r, rlen);
  // The last kept place lies digits - 1 places right of the leading decimal digit.
  round_places(v, static_cast<int64_t>(digits) - 1 - dec_exp(v), r, rlen);
}

int lnxsca(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen, int precision,
           int scale, int *overflow) {
  constexpr int kZeroLeft = 2 * (kMinExp + 1) - 1;  // zero: exponent -65, first digit 0
  const View v = view_of(num, len);
  int left;  // decimal positions left of the point
  if (v.kind == kZero || v.kind == kNegInf) {
    // A one-byte operand gives zero and never overflows.
    put_zero(r, rlen);
    left = kZeroLeft;
  } else {
    if (v.kind == kFinite && dec_places(v) > scale)
      round_places(v, scale, r, rlen);
    else
      put_copy(num, len, r, rlen);
    const View rv = view_of(r, rlen ? *rlen : 0);
    if (rv.kind == kZero)
      left = kZeroLeft;
    else if (rv.kind == kFinite)
      left = 2 * (rv.exp + 1) - (digit_of(rv, 0) < 10 ? 1 : 0);
    else
      left = 2 * (kMaxExp + 1);  // an infinity: beyond the largest value
  }
  int64_t count = static_cast<int64_t>(precision) - left;
  *overflow = count < 0 && v.kind != kZero && v.kind != kNegInf ? 1 : 0;
  if (count > INT32_MAX) count = INT32_MAX;
  if (count < INT32_MIN) count = INT32_MIN;
  return static_cast<int>(count);
}

}  // extern "C"
