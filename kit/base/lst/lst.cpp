// Byte-string helpers.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "lst.h"

namespace {

constexpr unsigned char lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}
constexpr unsigned char upper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

extern "C" int lstprintf(char *buf, size_t size, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(size ? buf : nullptr, size, fmt, ap);
  va_end(ap);
  if (n < 0) {
    if (size) buf[0] = '\0';
    return n;
  }
  if (size == 0) return 0;
  return static_cast<size_t>(n) < size ? n : static_cast<int>(size - 1);
}

extern "C" int lstmclo(const void *a, const void *b, size_t n) {
  auto *p = static_cast<const unsigned char *>(a);
  auto *q = static_cast<const unsigned char *>(b);
  for (size_t i = 0; i < n; ++i) {
    int d = lower(p[i]) - lower(q[i]);
    if (d != 0) return d;
  }
  return 0;
}

extern "C" void *lstmup(void *dst, const void *src, size_t n) {
  if (n == 0) return dst;
  if (dst != src) memmove(dst, src, n);
  auto *p = static_cast<unsigned char *>(dst);
  for (size_t i = 0; i < n; ++i) p[i] = upper(p[i]);
  return dst;
}
