// NUMBER multiplication on base-10000 groups in 32-bit arithmetic.
//
// Each operand's digits are packed in pairs (d1 * 100 + d2, the last group
// of an odd count holding its digit times 100). Column k of the product sums
// the group products whose indexes add up to k; at most ten products of
// 9999 * 9999 and a carry stay below 2^32.
#include <cstdint>
#include <utility>

#include "lnx.h"
#include "lnx_int.h"

namespace {

using namespace lnxi;

constexpr int kGroups = LNX_MAXDIGITS / 2;
constexpr uint32_t kBase = 10000;

// Packs a finite view's digits; returns the group count.
int pack(const View &v, uint32_t *g) {
  int ng = (v.n + 1) / 2;
  for (int i = 0; i < ng; ++i) {
    int hi = 2 * i, lo = hi + 1;
    uint32_t b1 = v.d[hi], b2 = lo < v.n ? v.d[lo] : (v.neg ? 101 : 1);
    // A negative pair b1 b2 holds 10201 - (b1 * 100 + b2).
    g[i] = v.neg ? 10201 - (b1 * 100 + b2) : (b1 - 1) * 100 + (b2 - 1);
  }
  return ng;
}

}  // namespace

extern "C" void lnxmul(const lnx_number *a, size_t alen, const lnx_number *b, size_t blen,
                       lnx_number *r, size_t *rlen) {
  View va = view_of(a, alen), vb = view_of(b, blen);
  if (va.kind == kZero || vb.kind == kZero) return put_zero(r, rlen);
  if (va.kind != kFinite || vb.kind != kFinite) {
    bool na = va.kind == kNegInf || va.neg, nb = vb.kind == kNegInf || vb.neg;
    return put_inf(na != nb, r, rlen);
  }
  // The operand with fewer digits runs the outer loop.
  if (vb.n < va.n) std::swap(va, vb);
  uint32_t ga[kGroups], gb[kGroups];
  const int na = pack(va, ga), nb = pack(vb, gb);
  const int ncol = na + nb - 1;

  // Columns from the least significant; prod[k + 1] receives column k and
  // prod[0] the top carry.
  uint32_t prod[2 * kGroups];
  uint32_t carry = 0;
  for (int k = ncol - 1; k >= 0; --k) {
    uint32_t sum = carry;
    int lo = k - (nb - 1) > 0 ? k - (nb - 1) : 0, hi = k < na - 1 ? k : na - 1;
    for (int i = lo; i <= hi; ++i) sum += ga[i] * gb[k - i];
    prod[k + 1] = sum % kBase;
    carry = sum / kBase;
  }
  prod[0] = carry;

  uint8_t dig[4 * kGroups];
  int n = 0;
  for (int k = 0; k <= ncol; ++k) {
    dig[n++] = static_cast<uint8_t>(prod[k] / 100);
    dig[n++] = static_cast<uint8_t>(prod[k] % 100);
  }
  // prod[0]'s high digit weighs 100^(e1 + e2 + 1).
  emit(dig, n, va.exp + vb.exp + 1, va.neg != vb.neg, r, rlen);
}
