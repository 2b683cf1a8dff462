// NUMBERs to and from native integers of 1, 2, 4 and 8 bytes.
#include <cstring>

#include "lnx.h"
#include "lnx_int.h"

using namespace lnxi;

namespace {

constexpr lnxpow pow100(int k) {
  uint64_t p = 1;
  for (int i = 0; i < k; ++i) p *= 100;
  return {k, p};
}

// The NUMBER bytes of a magnitude (no length byte).
constexpr lnxlimit limit(uint64_t mag, uint64_t pattern, uint64_t mask) {
  lnxlimit l{};
  l.pattern = pattern;
  l.mask = mask;
  if (mag == 0) {
    l.num[0] = LNX_ZERO;
    l.len = 1;
    return l;
  }
  uint8_t dig[10] = {};
  int n = 0;
  for (uint64_t m = mag; m; m /= 100) dig[n++] = static_cast<uint8_t>(m % 100);
  l.num[0] = static_cast<uint8_t>(kExpBias + n - 1);
  int lo = 0;
  while (dig[lo] == 0) ++lo;
  l.len = static_cast<uint8_t>(1 + n - lo);
  for (int i = n - 1, k = 1; i >= lo; --i) l.num[k++] = static_cast<uint8_t>(dig[i] + 1);
  return l;
}

constexpr uint64_t ones(int bytes) { return bytes == 8 ? ~0ull : (1ull << (8 * bytes)) - 1; }
constexpr uint64_t smax(int bytes) { return ones(bytes) >> 1; }
constexpr uint64_t smin(int bytes) { return ~smax(bytes); }  // -2^(8n-1) as a 64-bit pattern

// One kind and size: its upper bound, lower bound and full minimum.
struct Limits {
  const lnxlimit *max, *min, *fullmin;
};

bool size_ok(int kind, size_t size) {
  bool common = size == 1 || size == 2 || size == 4;
  if (kind == LNX_KIND_UNSIGNED || kind == LNX_KIND_SIGNED) return common || size == 8;
  return kind == LNX_KIND_NONNEG && common;
}

}  // namespace

extern "C" {

const lnxpow SlnxUbgPowers[5] = {pow100(0), pow100(1), pow100(2), pow100(3), pow100(4)};
const lnxpow SlnxUb8Powers[10] = {pow100(0), pow100(1), pow100(2), pow100(3), pow100(4),
                                  pow100(5), pow100(6), pow100(7), pow100(8), pow100(9)};

#define LNX_UNSIGNED(fam, n)                                         \
  const lnxlimit LnxsniU##fam##Maximum = limit(ones(n), ones(n), ones(n)); \
  const lnxlimit LnxsniU##fam##Minimum = limit(0, 0, ones(n));
#define LNX_SIGNED(fam, n)                                                  \
  const lnxlimit LnxsniS##fam##Maximum = limit(smax(n), smax(n), smax(n));  \
  const lnxlimit LnxsniS##fam##Minimum = limit(smax(n), smin(n), smax(n));  \
  const lnxlimit LnxsniS##fam##FullMin = limit(smax(n) + 1, smin(n), smax(n));
#define LNX_NONNEG(fam, n)                                                  \
  const lnxlimit LnxsniE##fam##Maximum = limit(smax(n), smax(n), smax(n));  \
  const lnxlimit LnxsniE##fam##Minimum = limit(0, 0, smax(n));
LNX_UNSIGNED(b1, 1) LNX_UNSIGNED(b2, 2) LNX_UNSIGNED(b4, 4) LNX_UNSIGNED(bg, 4) LNX_UNSIGNED(b8, 8)
LNX_SIGNED(b1, 1) LNX_SIGNED(b2, 2) LNX_SIGNED(b4, 4) LNX_SIGNED(bg, 4) LNX_SIGNED(b8, 8)
LNX_NONNEG(b1, 1) LNX_NONNEG(b2, 2) LNX_NONNEG(b4, 4)
#undef LNX_UNSIGNED
#undef LNX_SIGNED
#undef LNX_NONNEG

}  // extern "C"

namespace {

Limits limits_of(int kind, size_t size) {
  switch (kind * 16 + static_cast<int>(size)) {
    case 0 * 16 + 1: return {&LnxsniUb1Maximum, &LnxsniUb1Minimum, &LnxsniUb1Minimum};
    case 0 * 16 + 2: return {&LnxsniUb2Maximum, &LnxsniUb2Minimum, &LnxsniUb2Minimum};
    case 0 * 16 + 4: return {&LnxsniUb4Maximum, &LnxsniUb4Minimum, &LnxsniUb4Minimum};
    case 0 * 16 + 8: return {&LnxsniUb8Maximum, &LnxsniUb8Minimum, &LnxsniUb8Minimum};
    case 1 * 16 + 1: return {&LnxsniEb1Maximum, &LnxsniEb1Minimum, &LnxsniEb1Minimum};
    case 1 * 16 + 2: return {&LnxsniEb2Maximum, &LnxsniEb2Minimum, &LnxsniEb2Minimum};
    case 1 * 16 + 4: return {&LnxsniEb4Maximum, &LnxsniEb4Minimum, &LnxsniEb4Minimum};
    case 2 * 16 + 1: return {&LnxsniSb1Maximum, &LnxsniSb1Minimum, &LnxsniSb1FullMin};
    case 2 * 16 + 2: return {&LnxsniSb2Maximum, &LnxsniSb2Minimum, &LnxsniSb2FullMin};
    case 2 * 16 + 4: return {&LnxsniSb4Maximum, &LnxsniSb4Minimum, &LnxsniSb4FullMin};
    default: return {&LnxsniSb8Maximum, &LnxsniSb8Minimum, &LnxsniSb8FullMin};
  }
}

void store(void *out, size_t size, uint64_t v) {
  switch (size) {
    case 1: { uint8_t x = static_cast<uint8_t>(v); std::memcpy(out, &x, 1); break; }
    case 2: { uint16_t x = static_cast<uint16_t>(v); std::memcpy(out, &x, 2); break; }
    case 4: { uint32_t x = static_cast<uint32_t>(v); std::memcpy(out, &x, 4); break; }
    default: std::memcpy(out, &v, 8); break;
  }
}

// -1, 0 or 1 as the integer part of a finite positive-exponent view compares
// with a limit's magnitude.
int compare(const View &v, const lnxlimit &l) {
  if (l.len == 1) return 1;  // the limit is zero
  int le = l.num[0] - kExpBias;
  if (v.exp != le) return v.exp > le ? 1 : -1;
  const int ln = l.len - 1;
  for (int i = 0; i <= v.exp; ++i) {
    int a = i < v.n ? digit_of(v, i) : 0, b = i < ln ? l.num[1 + i] - 1 : 0;
    if (a != b) return a > b ? 1 : -1;
  }
  return 0;
}

}  // namespace

extern "C" {

int lnxmin(const void *value, size_t size, int kind, lnx_number *r, size_t *rlen) {
  if (kind != LNX_KIND_UNSIGNED && kind != LNX_KIND_NONNEG && kind != LNX_KIND_SIGNED)
    return LNX_ST_UNSUPPORTED;
  if (kind == LNX_KIND_NONNEG && size == 8) return LNX_ST_UNSUPPORTED;
  if (!size_ok(kind, size)) return LNX_ST_UNSUPPORTED;
  uint64_t mag = 0;
  bool neg = false;
  const bool sign = kind != LNX_KIND_UNSIGNED;
  switch (size) {
    case 1: { uint8_t x; std::memcpy(&x, value, 1); mag = x; neg = sign && (x & 0x80u); break; }
    case 2: { uint16_t x; std::memcpy(&x, value, 2); mag = x; neg = sign && (x & 0x8000u); break; }
    case 4: { uint32_t x; std::memcpy(&x, value, 4); mag = x; neg = sign && (x >> 31); break; }
    default: { std::memcpy(&mag, value, 8); neg = sign && (mag >> 63); break; }
  }
  if (neg) mag = (~mag + 1) & ones(static_cast<int>(size));
  if (mag == 0) {
    put_zero(r, rlen);
    return LNX_ST_OK;
  }
  const lnxpow *pw = size == 8 ? SlnxUb8Powers : SlnxUbgPowers;
  int k = size == 8 ? 9 : 4;
  while (pw[k].power > mag) --k;
  uint8_t dig[10];
  for (int i = k; i >= 0; --i) {
    dig[k - i] = static_cast<uint8_t>(mag / pw[i].power);
    mag %= pw[i].power;
  }
  emit(dig, k + 1, k, neg, r, rlen);
  return LNX_ST_OK;
}

int lnxsni(const lnx_number *num, size_t len, void *out, size_t size, unsigned flags) {
  const int kind = static_cast<int>(flags & LNX_KIND_MASK);
  if (!size_ok(kind, size)) return LNX_ST_UNSUPPORTED;
  const View v = view_of(num, len);
  if (v.kind == kZero) {
    store(out, size, 0);
    return LNX_ST_OK;
  }
  const Limits lim = limits_of(kind, size);
  const bool neg = v.kind == kNegInf || v.neg;
  const lnxlimit &rec = !neg ? *lim.max : (flags & LNX_SNI_FULLMIN) ? *lim.fullmin : *lim.min;
  if (v.kind != kFinite) {  // both infinities overflow to their bound
    store(out, size, rec.pattern);
    return LNX_ST_RANGE;
  }
  if (v.exp < 0) {
    store(out, size, 0);
    return LNX_ST_BELOW1;
  }
  const bool over = neg && kind != LNX_KIND_SIGNED ? true : compare(v, rec) > 0;
  if (over && (!(flags & LNX_SNI_MASKING) || (kind != LNX_KIND_SIGNED && neg))) {
    store(out, size, rec.pattern);
    return LNX_ST_RANGE;
  }
  // The integer part, wrapping: stored digits, then the missing positions
  // four (or nine) at a time.
  uint64_t val = 0;
  const int stored = v.n < v.exp + 1 ? v.n : v.exp + 1;
  for (int i = 0; i < stored; ++i) val = val * 100 + static_cast<uint64_t>(digit_of(v, i));
  const lnxpow *pw = size == 8 ? SlnxUb8Powers : SlnxUbgPowers;
  const int chunk = size == 8 ? 9 : 4;
  for (int missing = v.exp + 1 - stored; missing > 0; missing -= chunk)
    val *= pw[missing < chunk ? missing : chunk].power;
  if (over) val &= rec.mask;
  store(out, size, neg ? ~val + 1 : val);
  return over ? LNX_ST_RANGE : LNX_ST_OK;
}

}  // extern "C"
