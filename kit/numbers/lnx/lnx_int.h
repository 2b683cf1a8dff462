// Internal helpers of the NUMBER operations: reading operands in either
// form, decoding digits, and writing results through one normaliser.
//
// Invariants: a finite nonzero lnxview has 1..20 digits, the first and the
// last nonzero; exp lies in -65..62. lnxemit accepts any digit run (leading
// and trailing zeros allowed) and always writes a valid NUMBER.
#ifndef QEN_KIT_NUMBERS_LNX_INT_H
#define QEN_KIT_NUMBERS_LNX_INT_H

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "lnx.h"

namespace lnxi {

constexpr int kMaxExp = 62;
constexpr int kMinExp = -65;
constexpr int kExpBias = 193;  // positive exponent byte = kExpBias + e

enum Kind { kZero, kPosInf, kNegInf, kFinite };

// The body of a NUMBER in either form.
struct Body {
  const uint8_t *b;
  size_t n;
};
inline Body body_of(const lnx_number *num, size_t len) {
  if (len == 0) return {num + 1, num[0]};
  return {num, len};
}

// The digit tables, generated from their rules at compile time; the
// exported Lnxq* names point into this one copy.
struct Tables {
  uint8_t ppp[202][2], nnn[205][2], pnp[204][2], pnn[203][2];
  uint8_t comp_p[101][2], comp_n[102][2];
  uint8_t digit_p[100], digit_n[100];
  uint8_t trunc_p[101], trunc_n[102], round_p[101], round_n[102];
  uint8_t first[102], negate[102], identity[102];
};

constexpr Tables make_tables() {
  Tables t{};
  // Addition: pair i from `base` on is (((i - base) mod 100) + lo, carry).
  auto add = [](uint8_t (*tab)[2], int rows, int base, int lo, int c_lo, int c_hi) {
    for (int i = base; i < rows; ++i) {
      tab[i][0] = static_cast<uint8_t>((i - base) % 100 + lo);
      tab[i][1] = static_cast<uint8_t>(i - base >= 100 ? c_hi : c_lo);
    }
  };
  add(t.ppp, 202, 2, 1, 0, 1);
  t.ppp[0][0] = 0, t.ppp[0][1] = 0, t.ppp[1][0] = 0, t.ppp[1][1] = 1;
  add(t.nnn, 205, 5, 2, 1, 2);
  t.nnn[0][1] = 2, t.nnn[1][1] = 1;
  add(t.pnp, 204, 4, 1, 1, 2);
  t.pnp[0][1] = 2, t.pnp[1][1] = 1;
  add(t.pnn, 203, 3, 2, 0, 1);
  t.pnn[1][1] = 1;
  for (int b = 1; b <= 100; ++b) {
    t.comp_p[b][0] = static_cast<uint8_t>((b - 1) / 10);
    t.comp_p[b][1] = static_cast<uint8_t>((b - 1) % 10);
    t.trunc_p[b] = static_cast<uint8_t>(10 * ((b - 1) / 10) + 1);
    t.round_p[b] = static_cast<uint8_t>(10 * ((b - 1 + 5) / 10) + 1);
  }
  for (int b = 2; b <= 101; ++b) {
    t.comp_n[b][0] = static_cast<uint8_t>((101 - b) / 10);
    t.comp_n[b][1] = static_cast<uint8_t>((101 - b) % 10);
    t.trunc_n[b] = static_cast<uint8_t>(101 - 10 * ((101 - b) / 10));
    t.round_n[b] = static_cast<uint8_t>(101 - 10 * ((101 - b + 5) / 10));
  }
  for (int d = 0; d < 100; ++d) {
    t.digit_p[d] = static_cast<uint8_t>(d + 1);
    t.digit_n[d] = static_cast<uint8_t>(101 - d);
  }
  for (int b = 1; b <= 101; ++b) {
    t.first[b] = b % 10 == 1 ? 1 : 0;
    t.negate[b] = static_cast<uint8_t>(102 - b);
  }
  for (int b = 0; b < 102; ++b) t.identity[b] = static_cast<uint8_t>(b);
  return t;
}
inline constexpr Tables kTab = make_tables();

// A valid NUMBER seen as sign, exponent and encoded digit bytes (the
// terminator stripped).
struct View {
  Kind kind;
  bool neg;
  int exp;
  const uint8_t *d;  // encoded digit bytes
  int n;             // their count
};
inline int digit_of(const View &v, int i) { return v.neg ? 101 - v.d[i] : v.d[i] - 1; }

// Copies n <= 32 bytes between areas that do not overlap, in a few
// fixed-size moves instead of a call (NUMBER bodies are short).
inline void copy_small(uint8_t *dst, const uint8_t *src, size_t n) {
  if (n >= 16) {
    __builtin_memcpy(dst, src, 16);
    __builtin_memcpy(dst + n - 16, src + n - 16, 16);
  } else if (n >= 8) {
    __builtin_memcpy(dst, src, 8);
    __builtin_memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4) {
    __builtin_memcpy(dst, src, 4);
    __builtin_memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n > 0) {
    const uint8_t first = src[0], mid = src[n / 2], last = src[n - 1];
    dst[0] = first, dst[n / 2] = mid, dst[n - 1] = last;
  }
}

// A valid NUMBER's view.
inline View view_of(const lnx_number *num, size_t len) {
  Body b = body_of(num, len);
  uint8_t e = b.b[0];
  if (b.n == 1) return {e == LNX_ZERO ? kZero : kNegInf, e != LNX_ZERO, 0, nullptr, 0};
  if (e == LNX_POSINF0 && b.n == 2 && b.b[1] == LNX_POSINF1) return {kPosInf, false, 0, nullptr, 0};
  if (e & 0x80) return {kFinite, false, e - kExpBias, b.b + 1, static_cast<int>(b.n - 1)};
  int n = static_cast<int>(b.n - 1);
  if (b.b[b.n - 1] == LNX_NEGTERM) --n;
  return {kFinite, true, 62 - e, b.b + 1, n};
}

// Writes a body of n bytes, held apart from dst, in the requested form.
inline void put(const uint8_t *body, size_t n, lnx_number *dst, size_t *dstlen) {
  assert(n >= 1 && n <= LNX_MAXBODY);
  if (dstlen) {
    copy_small(dst, body, n);
    *dstlen = n;
  } else {
    copy_small(dst + 1, body, n);
    dst[0] = static_cast<uint8_t>(n);
  }
}

void put_zero(lnx_number *dst, size_t *dstlen);
void put_inf(bool neg, lnx_number *dst, size_t *dstlen);
// Copies a valid NUMBER; a negative copy with fewer than 20 digits keeps its
// terminator.
void put_copy(const lnx_number *num, size_t len, lnx_number *dst, size_t *dstlen);

// Writes the value sum(dig[i] * 100^(exp - i)) with the given sign: leading
// zeros dropped, rounded half away from zero to 20 digits, range applied,
// trailing zeros dropped. dig holds n plain digits 0..99 and is changed.
void emit(uint8_t *dig, int n, int exp, bool neg, lnx_number *dst, size_t *dstlen);

// Decodes a finite nonzero view into plain digits; returns the count.
int decode(const View &v, uint8_t *dig);

// The decimal exponent of the leading digit of a finite nonzero view.
inline int dec_exp(const View &v) { return 2 * v.exp + (digit_of(v, 0) >= 10 ? 1 : 0); }

// Rounds a finite nonzero view at 10^-places (half away from zero).
void round_places(const View &v, int64_t places, lnx_number *dst, size_t *dstlen);

}  // namespace lnxi

#endif
