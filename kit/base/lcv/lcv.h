// Integer to text in any base.
#ifndef QEN_KIT_CORE_LCV_H
#define QEN_KIT_CORE_LCV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Longest text lcvbg2b writes: 64 binary digits and a sign.
#define LCV_MAXDIGITS 65

// Writes value in the base, most significant digit first, digits above 9 as
// lower-case letters, without a NUL; returns the number of characters. A base
// of 1 or more takes the value as unsigned; a base of 0 or less takes it as
// signed, in base |base| (10 for 0), with a leading '-' for a negative value.
// The base must be 2 to 36 in magnitude: any other writes nothing and
// returns 0. buf must hold LCV_MAXDIGITS bytes.
int lcvbg2b(char *buf, uint64_t value, int base);

#ifdef __cplusplus
}
#endif

#endif
