// Bit vectors held in byte arrays.
#include "lbi.h"

namespace {

constexpr size_t bytes_of(size_t n) { return n / 8 + (n % 8 != 0); }

}  // namespace

extern "C" void lbivand(uint8_t *dst, const uint8_t *a, const uint8_t *b, size_t n) {
  for (size_t i = 0, m = bytes_of(n); i < m; ++i) dst[i] = a[i] & b[i];
}

extern "C" void lbivor(uint8_t *dst, const uint8_t *a, const uint8_t *b, size_t n) {
  for (size_t i = 0, m = bytes_of(n); i < m; ++i) dst[i] = a[i] | b[i];
}

extern "C" void lbivxor(uint8_t *dst, const uint8_t *a, const uint8_t *b, size_t n) {
  for (size_t i = 0, m = bytes_of(n); i < m; ++i) dst[i] = a[i] ^ b[i];
}

extern "C" void lbivnot(uint8_t *dst, const uint8_t *a, size_t n) {
  for (size_t i = 0, m = bytes_of(n); i < m; ++i) dst[i] = static_cast<uint8_t>(~a[i]);
}

extern "C" int32_t lbivffs(const uint8_t *vec, int32_t start, int32_t end) {
  // 64-bit index: the jump past a zero byte may step beyond INT32_MAX.
  int64_t i = start < 0 ? 0 : start;  // no bit lies below 0
  while (i < end) {
    uint8_t byte = vec[i / 8];
    if (byte == 0) {
      i = (i / 8 + 1) * 8;  // the rest of this byte holds nothing
      continue;
    }
    if (byte & (1u << (i % 8))) return static_cast<int32_t>(i);
    ++i;
  }
  return -1;
}

extern "C" void lbivncpy(uint8_t *dst, const uint8_t *src, size_t offset, size_t n) {
  if (n == 0) return;
  const size_t first = offset / 8;
  const size_t last = (offset + n - 1) / 8;  // last source byte holding a copied bit
  const unsigned shift = offset % 8;
  for (size_t k = 0, m = bytes_of(n); k < m; ++k) {
    const size_t s = first + k;
    unsigned v = s <= last ? src[s] >> shift : 0u;
    if (shift != 0 && s + 1 <= last) v |= static_cast<unsigned>(src[s + 1]) << (8 - shift);
    dst[k] = static_cast<uint8_t>(v);
  }
}

extern "C" void lbivpk(uint8_t *dst, const uint8_t *bytes, size_t n, uint8_t mask) {
  const size_t whole = n / 8;
  for (size_t k = 0; k < whole; ++k) {
    uint8_t v = 0;
    for (unsigned b = 0; b < 8; ++b)
      if (bytes[k * 8 + b] & mask) v = static_cast<uint8_t>(v | (1u << b));
    dst[k] = v;
  }
  if (const unsigned rest = n % 8; rest != 0) {
    uint8_t v = dst[whole];
    for (unsigned b = 0; b < rest; ++b) {
      if (bytes[whole * 8 + b] & mask)
        v = static_cast<uint8_t>(v | (1u << b));
      else
        v = static_cast<uint8_t>(v & ~(1u << b));
    }
    dst[whole] = v;
  }
}

extern "C" void lbivupk(uint8_t *bytes, const uint8_t *vec, size_t n, uint8_t mask) {
  for (size_t i = 0; i < n; ++i) {
    if (vec[i / 8] & (1u << (i % 8)))
      bytes[i] = static_cast<uint8_t>(bytes[i] | mask);
    else
      bytes[i] = static_cast<uint8_t>(bytes[i] & ~mask);
  }
}
