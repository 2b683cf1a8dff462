// Number-text helpers of the client library.
#include <cstdint>
#include <limits>

#include "vzclient.h"

namespace {

int digit_of(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The digits of the base as a value no larger than max; false when they
// are not all digits of the base, there are none, or the value exceeds max.
bool parse(const char *text, size_t len, int base, uint64_t max, uint64_t &out) {
  if (text == nullptr || len == 0 || base < 2 || base > 36) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < len; ++i) {
    int d = digit_of(text[i]);
    if (d >= base) return false;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (v > max) return false;
  }
  out = v;
  return true;
}

}  // namespace

extern "C" int lcvb2w(const char *text, size_t len, int *out, int base) {
  uint64_t v;
  if (!parse(text, len, base, std::numeric_limits<int>::max(), v)) {
    *out = 0;
    return -1;
  }
  *out = static_cast<int>(v);
  return 0;
}

extern "C" int lcvb24(const char *text, size_t len, uint32_t *out, int base) {
  uint64_t v;
  if (!parse(text, len, base, UINT32_MAX, v)) {
    *out = 0;
    return -1;
  }
  *out = static_cast<uint32_t>(v);
  return 0;
}

extern "C" int lcv42b(char *buf, uint32_t value, int base) {
  if (base < 2 || base > 36) return 0;
  char digits[32];
  int n = 0;
  do {
    unsigned d = value % static_cast<unsigned>(base);
    digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
    value /= static_cast<unsigned>(base);
  } while (value != 0);
  for (int i = 0; i < n; ++i) buf[i] = digits[n - 1 - i];
  return n;
}
