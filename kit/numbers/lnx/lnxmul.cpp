// NUMBER multiplication on base-10000 groups in 32-bit arithmetic.
//
// Each operand's digits are packed in pairs (d1 * 100 + d2, the last group
// of an odd count holding its digit times 100). Column k of the product sums
// the group products whose indexes add up to k; at most ten products of
// 9999 * 9999 and a carry stay below 2^32.
#include <cassert>
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
  const int whole = v.n / 2;
  // A positive pair b1 b2 holds b1 * 100 + b2 - 101, a negative one
  // 10201 - (b1 * 100 + b2): both b1 * 100 + b2 scaled by sign, plus base.
  const int32_t sign = v.neg ? -1 : 1, base = v.neg ? 10201 : -101;
  for (int i = 0; i < whole; ++i)
    g[i] = static_cast<uint32_t>(base + sign * (v.d[2 * i] * 100 + v.d[2 * i + 1]));
  if (v.n % 2) {  // the last digit alone, times 100
    const int32_t lastpad = v.neg ? 101 : 1;
    g[whole] = static_cast<uint32_t>(base + sign * (v.d[v.n - 1] * 100 + lastpad));
  }
  return (v.n + 1) / 2;
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

  // Each column sum is accumulated in a register, over every group pair of
  // the column: the groups past an operand's end are 0, so the fully
  // unrolled loops need no bounds. The carries then run from the least
  // significant column, two columns (base 10^8) per step.
  // prod[k + 1] receives column k and prod[0] the top carry.
  for (int j = nb; j < kGroups; ++j) gb[j] = 0;
  for (int j = na; j < kGroups; ++j) ga[j] = 0;
  uint32_t col[2 * kGroups];
#pragma GCC unroll 20
  for (int k = 0; k < 2 * kGroups - 1; ++k) {
    uint32_t sum = 0;
#pragma GCC unroll 10
    for (int i = 0; i < kGroups; ++i)
      if (k - i >= 0 && k - i < kGroups) sum += ga[i] * gb[k - i];
    col[k] = sum;
  }
  uint32_t prod[2 * kGroups + 1];
  uint64_t carry = 0;
  int k = ncol - 1;
  for (; k >= 1; k -= 2) {
    uint64_t t = carry + col[k] + static_cast<uint64_t>(col[k - 1]) * kBase;
    uint32_t rem = static_cast<uint32_t>(t % (kBase * kBase));
    carry = t / (kBase * kBase);
    prod[k + 1] = rem % kBase;
    prod[k] = rem / kBase;
  }
  if (k == 0) {
    uint64_t t = carry + col[0];
    prod[1] = static_cast<uint32_t>(t % kBase);
    carry = t / kBase;
  }
  prod[0] = static_cast<uint32_t>(carry);
  assert(carry < kBase);

  uint8_t dig[4 * kGroups];
  int n = 0;
  for (int k = 0; k <= ncol; ++k) {
    dig[n++] = static_cast<uint8_t>(prod[k] / 100);
    dig[n++] = static_cast<uint8_t>(prod[k] % 100);
  }
  // prod[0]'s high digit weighs 100^(e1 + e2 + 1).
  emit(dig, n, va.exp + vb.exp + 1, va.neg != vb.neg, r, rlen);
}
