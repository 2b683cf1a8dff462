// Integer to text in any base.
#include "lcv.h"

extern "C" int lcvbg2b(char *buf, uint64_t value, int base) {
  bool is_signed = base <= 0;
  // The magnitude of the base, computed without overflowing INT_MIN.
  unsigned radix = base == 0 ? 10u
                   : base < 0 ? 0u - static_cast<unsigned>(base)
                              : static_cast<unsigned>(base);
  if (radix < 2 || radix > 36) return 0;

  int len = 0;
  uint64_t mag = value;
  if (is_signed && static_cast<int64_t>(value) < 0) {
    buf[len++] = '-';
    mag = 0 - value;  // also right for the most negative value
  }
  char digits[64];
  int n = 0;
  do {
    unsigned d = static_cast<unsigned>(mag % radix);
    digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
    mag /= radix;
  } while (mag != 0);
  while (n > 0) buf[len++] = digits[--n];
  return len;
}
