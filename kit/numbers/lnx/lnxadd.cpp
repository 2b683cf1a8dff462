// NUMBER addition, subtraction and negation on the encoded digit bytes.
//
// Both operands are laid side by side by exponent in one work area; each
// position's result byte and carry come from one of the four addition
// tables, indexed by the sum of the two encoded bytes and the carry byte of
// the position to the right. A position where an operand has no digit reads
// that operand's encoding of digit 0. The second operand's bytes pass
// through LnxsubIdentity (addition) or LnxqNegate (subtraction), so a
// difference never builds a negated copy of its operand.
#include <cstring>

#include "lnx.h"
#include "lnx_int.h"

namespace {

// A table row of two bytes (digit, carry) read as one 16-bit word.
constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
inline uint8_t row_digit(unsigned word) {
  return static_cast<uint8_t>(kLittleEndian ? word : word >> 8);
}
inline unsigned row_carry(unsigned word) { return kLittleEndian ? word >> 8 : word & 0xFFu; }

using namespace lnxi;

constexpr uint8_t kPosZero = 1;    // digit 0, positive encoding
constexpr uint8_t kNegZero = 101;  // digit 0, negative encoding
constexpr int kReach = 21;         // positions beyond which an operand cannot matter

constexpr int kWork = 2 * LNX_MAXDIGITS;  // two operands side by side

// Lays an operand's bytes (through map) into row[off .. off + n) of a work
// row whose other positions hold its encoding of digit 0.
inline void lay(uint8_t (&row)[kWork], const uint8_t *d, const uint8_t *map, int off, int n,
                uint8_t zero) {
  std::memset(row, zero, sizeof row);
  if (map == kTab.identity)
    copy_small(row + off, d, static_cast<size_t>(n));
  else
    for (int i = 0; i < n; ++i) row[off + i] = map[d[i]];
}

void negate_into(const View &v, lnx_number *r, size_t *rlen) {
  if (v.kind == kZero) return put_zero(r, rlen);
  if (v.kind == kNegInf) return put_inf(false, r, rlen);
  if (v.kind == kPosInf) return put_inf(true, r, rlen);
  uint8_t out[LNX_MAXBODY];
  size_t k = 0;
  out[k++] = static_cast<uint8_t>(v.neg ? kExpBias + v.exp : 62 - v.exp);
  for (int i = 0; i < v.n; ++i) out[k++] = kTab.negate[v.d[i]];
  if (!v.neg && v.n < LNX_MAXDIGITS) out[k++] = LNX_NEGTERM;
  put(out, k, r, rlen);
}

void addsub(const lnx_number *a, size_t alen, const lnx_number *b, size_t blen, lnx_number *r,
            size_t *rlen, bool sub) {
  const View va = view_of(a, alen), vb = view_of(b, blen);
  if (!sub) {
    if (va.kind == kPosInf || va.kind == kNegInf) return put_inf(va.kind == kNegInf, r, rlen);
    if (vb.kind == kPosInf || vb.kind == kNegInf) return put_inf(vb.kind == kNegInf, r, rlen);
    if (va.kind == kZero) return put_copy(b, blen, r, rlen);
    if (vb.kind == kZero) return put_copy(a, alen, r, rlen);
  } else {
    if (va.kind == kPosInf) {
      if (vb.kind == kPosInf) return put_zero(r, rlen);
      return put_inf(false, r, rlen);
    }
    if (va.kind == kNegInf) return put_inf(true, r, rlen);
    if (vb.kind == kPosInf || vb.kind == kNegInf) return put_inf(vb.kind == kPosInf, r, rlen);
    if (va.kind == kZero) return negate_into(vb, r, rlen);
    if (vb.kind == kZero) return put_copy(a, alen, r, rlen);
  }

  const bool bneg = vb.neg != sub;
  const int top = va.exp > vb.exp ? va.exp : vb.exp;
  if (va.exp - vb.exp >= kReach) return put_copy(a, alen, r, rlen);
  if (vb.exp - va.exp >= kReach) return sub ? negate_into(vb, r, rlen) : put_copy(b, blen, r, rlen);

  const int offa = top - va.exp, offb = top - vb.exp;
  const int len = offa + va.n > offb + vb.n ? offa + va.n : offb + vb.n;
  uint8_t ra[kWork], rb[kWork];
  lay(ra, va.d, kTab.identity, offa, va.n, va.neg ? kNegZero : kPosZero);
  lay(rb, vb.d, sub ? kTab.negate : kTab.identity, offb, vb.n, bneg ? kNegZero : kPosZero);

  // Pick the table and the result's sign.
  const uint8_t(*tab)[2];
  bool rneg;
  if (va.neg == bneg) {
    rneg = bneg;
    tab = rneg ? kTab.nnn : kTab.ppp;
  } else {
    // Magnitudes compare through the encoded bytes: a positive byte p and a
    // negative byte q hold equal digits exactly when p + q = 102.
    int p = 0;
    while (p < len && ra[p] + rb[p] == 102) ++p;
    if (p == len) return put_zero(r, rlen);
    rneg = ra[p] + rb[p] < 102;  // the negative operand is the larger
    tab = rneg ? kTab.pnn : kTab.pnp;
  }

  // res[p + 1] holds position p; res[0] the carry out of the top.
  // Carry select: every position's row is looked up for both carry bytes
  // at once (the lookups do not wait for each other); the carries then
  // only choose between them, from the least significant position. A row
  // is read whole as a 16-bit word (digit byte first, carry byte second, in
  // the host's order).
  uint8_t res[kWork + 1];
  uint16_t row0[kWork], row1[kWork];
  const unsigned none = tab[0][1], carry = tab[1][1];
  for (int p = 0; p < len; ++p) {
    const unsigned s = ra[p] + rb[p];
    __builtin_memcpy(&row0[p], tab[s + none], 2);
    __builtin_memcpy(&row1[p], tab[s + carry], 2);
  }
  unsigned c = none;
  for (int p = len - 1; p >= 0; --p) {
    const unsigned v = c != none ? row1[p] : row0[p];
    res[p + 1] = row_digit(v);
    c = row_carry(v);
  }
  const uint8_t zero = rneg ? kNegZero : kPosZero;
  const uint8_t nine = rneg ? 2 : 100;  // digit 99
  const int step = rneg ? -1 : 1;
  res[0] = c == carry ? static_cast<uint8_t>(zero + step) : zero;

  int s = 0, exp = top + 1;
  while (res[s] == zero) ++s, --exp;
  int n = len + 1 - s;
  uint8_t *d = res + s;
  if (n > LNX_MAXDIGITS) {
    int round = rneg ? 101 - d[LNX_MAXDIGITS] : d[LNX_MAXDIGITS] - 1;
    n = LNX_MAXDIGITS;
    if (round >= 50) {
      int i = n - 1;
      while (i >= 0 && d[i] == nine) d[i--] = zero;
      if (i < 0)
        d[0] = static_cast<uint8_t>(zero + step), n = 1, ++exp;
      else
        d[i] = static_cast<uint8_t>(d[i] + step);
    }
  }
  while (d[n - 1] == zero) --n;
  if (exp > kMaxExp) return put_inf(rneg, r, rlen);
  if (exp < kMinExp) return put_zero(r, rlen);
  uint8_t out[LNX_MAXBODY];
  size_t k = 0;
  out[k++] = static_cast<uint8_t>(rneg ? 62 - exp : kExpBias + exp);
  copy_small(out + k, d, static_cast<size_t>(n));
  k += n;
  if (rneg && n < LNX_MAXDIGITS) out[k++] = LNX_NEGTERM;
  put(out, k, r, rlen);
}

}  // namespace

extern "C" {

void lnxadd(const lnx_number *a, size_t alen, const lnx_number *b, size_t blen, lnx_number *r,
            size_t *rlen) {
  addsub(a, alen, b, blen, r, rlen, false);
}

void lnxsub(const lnx_number *a, size_t alen, const lnx_number *b, size_t blen, lnx_number *r,
            size_t *rlen) {
  addsub(a, alen, b, blen, r, rlen, true);
}

void lnxneg(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen) {
  negate_into(view_of(num, len), r, rlen);
}

}  // extern "C"
