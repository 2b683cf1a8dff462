// GCC's IEEE 754 decimal128 (libgcc's routines) behind a C interface: the
// bench keeps its operands as 16-byte values.
#ifndef QEN_BENCH_DEC128_H
#define QEN_BENCH_DEC128_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dec128 {
  uint64_t w[2];
} dec128;

// sign * digits (decimal text of at most 34 digits) * 10^exp10
dec128 dec128_make(int negative, const char *digits, int exp10);
dec128 dec128_add(dec128 a, dec128 b);
dec128 dec128_sub(dec128 a, dec128 b);
dec128 dec128_mul(dec128 a, dec128 b);
// Rounded half away from zero to `places` decimal places (0..10); the
// value times 10^places must fit a long long.
dec128 dec128_round(dec128 a, int places);

#ifdef __cplusplus
}
#endif

#endif
